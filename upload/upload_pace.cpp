#include "upload/upload_pace.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr long long LONGEST_WAIT_S = 24 * 3600;
constexpr std::size_t REASON_CHARS = 120;

// The first line of a server's text, printable characters only, cut short:
// a reply is not ours to trust and goes into logs and the page.
std::string first_line(const std::string &text)
{
    std::string line;
    std::size_t i = text.find_first_not_of(" \t\r\n");
    for (; i != std::string::npos && i < text.size() && text[i] != '\r' && text[i] != '\n' &&
           line.size() < REASON_CHARS;
         ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        line += c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '?';
    }
    return line;
}

// Seconds as a plain number ("120"), as Retry-After and Windy's
// `retry_after` give them; 0 for anything else.
long long seconds_in(const char *text)
{
    while (*text == ' ' || *text == '"')
        ++text;
    if (*text < '0' || *text > '9')
        return 0;
    const long long s = std::strtoll(text, nullptr, 10);
    return s > LONGEST_WAIT_S ? LONGEST_WAIT_S : s;
}

long long asked_wait(const UploadReply &reply)
{
    if (const long long s = seconds_in(reply.retry_after.c_str()))
        return s;
    const std::size_t at = reply.body.find("\"retry_after\"");
    if (at == std::string::npos)
        return 0;
    const std::size_t colon = reply.body.find(':', at);
    return colon == std::string::npos ? 0 : seconds_in(reply.body.c_str() + colon + 1);
}

std::string status_reason(const UploadReply &reply)
{
    std::string reason = "HTTP " + std::to_string(reply.status);
    const std::string line = first_line(reply.body);
    return line.empty() ? reason : reason + ": " + line;
}

} // namespace

UploadOutcome judge_upload(const UploadService &row, const UploadReply &reply)
{
    if (reply.status == 0)
        return {UploadResult::failed, 0, reply.error.empty() ? "no reply" : reply.error};
    const long long wait = asked_wait(reply);
    if (reply.status >= 200 && reply.status < 300) {
        if (!row.taken || row.taken(reply.body.c_str()))
            return {UploadResult::taken, wait, ""};
        const std::string line = first_line(reply.body);
        return {UploadResult::failed, wait, "refused: " + (line.empty() ? "empty reply" : line)};
    }
    if (reply.status == 409)  // that record is there already
        return {UploadResult::taken, wait, ""};
    if (reply.status == 401 || reply.status == 403)
        return {UploadResult::credentials, wait, status_reason(reply)};
    if (reply.status == 429)
        return {UploadResult::too_often, wait, status_reason(reply)};
    return {UploadResult::failed, wait, status_reason(reply)};
}

int pace_due(const UploadPace &pace, long long now_ms) { return now_ms >= pace.next_ms; }

std::string without_secrets(std::string text, const std::vector<std::string> &secrets)
{
    for (const std::string &secret : secrets) {
        if (secret.empty())
            continue;
        for (std::size_t at = text.find(secret); at != std::string::npos;
             at = text.find(secret, at + 3))
            text.replace(at, secret.size(), "***");
    }
    return text;
}

std::string pace_outcome(UploadPace *pace, const UploadService &row, UploadOutcome outcome,
                         long long now_ms, long long utc,
                         const std::vector<std::string> &secrets)
{
    long long wait_ms = outcome.wait_s * 1000;
    if (wait_ms < static_cast<long long>(row.interval_ms))
        wait_ms = row.interval_ms;
    if (outcome.result == UploadResult::credentials && wait_ms < CREDENTIALS_RETRY_MS)
        wait_ms = CREDENTIALS_RETRY_MS;
    pace->next_ms = now_ms + wait_ms;

    if (outcome.result == UploadResult::taken) {
        const int before = pace->state;
        pace->state = 1;
        pace->reason.clear();
        pace->last_success = utc;
        if (before == 1)
            return std::string();
        return std::string(row.shown_name) +
               (before == 2 ? ": uploads work again" : ": upload taken");
    }
    const std::string reason = without_secrets(outcome.reason, secrets);
    pace->last_failure = utc;
    if (pace->state == 2 && pace->reason == reason)
        return std::string();
    pace->state = 2;
    pace->reason = reason;
    std::string line = std::string(row.shown_name) + ": upload failed: " + reason;
    if (outcome.result == UploadResult::credentials)
        line += "; check its ID and key (tried again every 30 minutes)";
    return line;
}
