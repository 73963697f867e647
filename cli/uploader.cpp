#include "cli/uploader.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "cli/live_text.h"
#include "cli/log.h"
#include "cli/own_services.h"
#include "common/steady_clock.h"
#include "upload/http_client.h"
#include "upload/reply.h"
#include "upload/service_table.h"
#include "upload/spacing.h"

namespace {

constexpr std::uint32_t DEADLINE_MS = 30000;

struct Job {
    int service;
    char request[UPLOAD_REQUEST_BYTES];
    std::string record;  // the newest live record when the body came
};

struct Worker {
    std::mutex lock;
    std::condition_variable wake;
    std::deque<Job> queue;
    int stopping = 0;
    int ended = 0;
    std::condition_variable ended_signal;
    FrontEndConfig config;
    UploadDestination destination;
    WcSpacing spacing;
    std::thread thread;
};

std::uint32_t tick(void *)
{
    return static_cast<std::uint32_t>(steady_ms());
}

// A pause that a stop cuts short.
void pause(void *context, std::uint32_t ms)
{
    Worker &w = *static_cast<Worker *>(context);
    std::unique_lock<std::mutex> hold(w.lock);
    w.wake.wait_for(hold, std::chrono::milliseconds(ms), [&] { return w.stopping != 0; });
}

// The console writes its bodies in a Western code page; the request is UTF-8.
// 0 when the converted body does not fit.
int body_as_utf8(const char *body, char out[UPLOAD_BODY_BYTES])
{
    std::size_t n = 0;
    for (std::size_t i = 0; i < UPLOAD_BODY_BYTES && body[i] != 0; ++i) {
        const unsigned char c = static_cast<unsigned char>(body[i]);
        if (n + (c < 0x80 ? 1 : 2) >= UPLOAD_BODY_BYTES) // and its NUL
            return 0;
        if (c < 0x80) {
            out[n++] = static_cast<char>(c);
        } else {
            out[n++] = static_cast<char>(0xC0 | c >> 6);
            out[n++] = static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    std::memset(out + n, 0, UPLOAD_BODY_BYTES - n);
    return 1;
}

// Sends the job and logs its outcome; 1 when the service took it, else 0
// with the reason.
int send(Worker &w, const Job &job, std::string *reason)
{
    const UploadService &row = service_row(job.service);
    const char *name = row.shown_name;
    const bool redirected = w.destination.host[0] != 0;
    const HttpTarget target = {redirected ? w.destination.host : row.host,
                               redirected ? w.destination.port : row.port, DEADLINE_MS};
    char answer[REPLY_TEXT_BYTES];
    if (!http_transact(target, job.request, answer)) {
        log_line("%s: upload failed: no reply from %s:%d", name, target.host, target.port);
        *reason = "no reply";
        return 0;
    }
    if (reply_accepted(answer, job.service)) {
        log_line("%s: upload accepted", name);
        return 1;
    }
    // The status line and the body's first line say why.
    const char *body = nullptr;
    reply_status(answer, &body);
    const int status_length = static_cast<int>(std::strcspn(answer, "\r\n"));
    const int body_length = body ? static_cast<int>(std::strcspn(body, "\r\n")) : 0;
    log_line("%s: upload refused: %.*s%s%.*s", name, status_length > 80 ? 80 : status_length,
             answer, body_length ? " / " : "", body_length > 80 ? 80 : body_length,
             body ? body : "");
    *reason = "refused: " + std::string(answer, status_length > 80 ? 80 : status_length);
    return 0;
}

void run_worker(Worker *w)
{
    const UploadClock clock = {tick, pause, w};
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> hold(w->lock);
            w->wake.wait(hold, [&] { return w->stopping || !w->queue.empty(); });
            if (w->stopping)
                break;
            job = w->queue.front();
            w->queue.pop_front();
        }
        if (service_row(job.service).spacing_ms) {
            std::uint32_t start = 0;
            if (!await_wc_slot(w->spacing, clock, &start)) {
                if (!w->stopping)
                    log_line("%s: upload dropped: ten minutes have not passed since the last one",
                             service_row(job.service).shown_name);
                continue;
            }
            wc_upload_begun(w->spacing, start);
        }
        if (w->stopping)
            break;
        if (w->destination.discard) {
            log_line("%s: upload dropped (the simulated console's weather goes nowhere)",
                     service_row(job.service).shown_name);
            continue;
        }
        std::string reason;
        const int taken = send(*w, job, &reason);
        // What Weather Underground missed is sent later from the archive.
        if (job.service == UPLOAD_WU && !w->stopping)
            own_services_live_outcome(job.service, job.record, taken != 0, reason);
    }
    std::lock_guard<std::mutex> hold(w->lock);
    w->ended = 1;
    w->ended_signal.notify_all();
}

} // namespace

struct Uploader {
    Worker *worker;
};

Uploader *uploader_start(const FrontEndConfig &config, const UploadDestination &destination)
{
    Worker *w = new Worker;
    w->config = config;
    w->destination = destination;
    w->spacing = WcSpacing{};
    w->thread = std::thread(run_worker, w);
    return new Uploader{w};
}

void uploader_take_body(Uploader *u, int service, const char *body, const std::string &record)
{
    if (!u || !body || service < 0 || service >= UPLOAD_SERVICE_COUNT)
        return;
    Worker *worker = u->worker;
    const ServiceConfig &s = worker->config.service[service];
    if (!s.upload)
        return;
    char16_t id[UPLOAD_CREDENTIAL_UNITS], key[UPLOAD_CREDENTIAL_UNITS];
    if (!utf16_text(s.id, id, UPLOAD_CREDENTIAL_UNITS) ||
        !utf16_text(s.key, key, UPLOAD_CREDENTIAL_UNITS)) {
        log_line("%s: upload dropped: the ID or key is not text of at most 63 characters",
                 service_row(service).shown_name);
        return;
    }
    char body8[UPLOAD_BODY_BYTES];
    Job job;
    job.service = service;
    job.record = record;
    const char *why = "the body is longer than 1023 bytes once converted";
    if (!body_as_utf8(body, body8) ||
        !build_upload_request(service, body8, id, key, job.request, &why)) {
        log_line("%s: upload dropped: %s", service_row(service).shown_name, why);
        return;
    }
    std::lock_guard<std::mutex> hold(worker->lock);
    worker->queue.push_back(job);
    worker->wake.notify_all();
}

int uploader_stop(Uploader *u, int wait_ms)
{
    if (!u)
        return 1;
    Worker *w = u->worker;
    delete u;
    int ended;
    {
        std::unique_lock<std::mutex> hold(w->lock);
        w->stopping = 1;
        w->wake.notify_all();
        ended = w->ended_signal.wait_for(hold, std::chrono::milliseconds(wait_ms),
                                         [w] { return w->ended != 0; });
    }
    if (!ended) {
        // A transaction cut off at the stop may still use the worker: it
        // stays for the rest of the process.
        w->thread.detach();
        return 0;
    }
    w->thread.join();
    delete w;
    return 1;
}

namespace {

// `run`'s uploads: the bodies of the services that are on.
class UploadFeed : public RecordFeed {
public:
    explicit UploadFeed(Uploader *u) : uploader(u) {}
    ~UploadFeed() override { uploader_stop(uploader, 500); }
    void record(const char *bytes, const LiveValues &) override
    {
        latest.assign(bytes, strnlen(bytes, LIVE_RECORD_BYTES));
    }
    void body(int service, const char *text) override
    {
        uploader_take_body(uploader, service, text, latest);
    }

private:
    Uploader *uploader;
    std::string latest;  // the newest live record
};

} // namespace

std::unique_ptr<RecordFeed> upload_feed(const FrontEndConfig &config,
                                        const UploadDestination &destination)
{
    auto feed = std::make_unique<UploadFeed>(uploader_start(config, destination));
    for (int i = 0; i < UPLOAD_SERVICE_COUNT; ++i) {
        const ServiceConfig &service = config.service[i];
        if (service.upload && (!service.id[0] || !service.key[0]))
            log_line("%s is on but has no %s: its uploads are skipped",
                     upload_services[i].config_name, service.id[0] ? "key" : "ID");
    }
    return feed;
}
