#include "upload/reply.h"

#include <cstring>

#include "station/messages.h"
#include "upload/request.h"

ReplyVerdict judge_reply(const char *reply, std::size_t length, char text[REPLY_TEXT_BYTES])
{
    std::size_t n = length < REPLY_TEXT_BYTES - 1 ? length : REPLY_TEXT_BYTES - 1;
    if (const void *nul = reply ? std::memchr(reply, 0, n) : nullptr)
        n = static_cast<std::size_t>(static_cast<const char *>(nul) - reply);
    if (n > 0)
        std::memcpy(text, reply, n);
    text[n] = 0;
    if (std::strstr(text, "success"))
        return REPLY_SUCCESS;
    if (std::strstr(text, "200"))
        return REPLY_200;
    return REPLY_NOTHING;
}

unsigned upload_report(ReplyVerdict verdict, int service)
{
    if (verdict == REPLY_SUCCESS && service == UPLOAD_WU)
        return UM_WU_UPLOAD_OK;
    if (verdict == REPLY_200 && service == UPLOAD_WC)
        return UM_WC_UPLOAD_OK;
    return 0;
}
