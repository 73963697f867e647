// The broker connection over libmosquitto. One thread owns the client: it
// connects, runs the network loop, publishes what the caller handed over
// and pauses between attempts, so that the caller only ever takes a lock
// for a moment. A fresh client per attempt leaves nothing of a failed
// connection behind; the library's own loop thread would give up for good
// after a failed name lookup or TLS error.
#include "publish/publisher.h"

#include <mosquitto.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

// How long a broker that took the TCP connection may take to answer it.
constexpr auto CONNACK_WAIT = std::chrono::seconds(10);
constexpr int KEEPALIVE_S = 60;

} // namespace

struct Publisher {
    MqttSettings settings;
    UnitSettings units;
    MqttTopics topics;
    std::string where;  // HOST:PORT for the log
    void (*log)(const char *line);

    // Written by the caller under `lock`; each change counts up a generation
    // that the thread compares with what it last published.
    std::mutex lock;
    std::condition_variable wake;
    std::string state;
    std::uint64_t state_generation = 0;
    int console = 0;
    std::uint64_t console_generation = 0;
    std::vector<UploadStatus> uploads;
    std::uint64_t uploads_generation = 0;
    int stopping = 0;
    int finished = 0;  // written by the thread as its last act
    std::thread thread;

    // The thread's own: why the last publish failed, empty while they go
    // through, so that a failure is logged once and not per message.
    std::string publish_trouble;
};

namespace {

// One attempt's client, touched by the thread and the library's callbacks
// it runs inside mosquitto_loop.
struct Connection {
    Publisher *p;
    mosquitto *m = nullptr;
    int connack = -1;
    int announced = 0;
    std::uint64_t state_sent = 0, console_sent = 0, uploads_sent = 0;
};

void on_connect(mosquitto *, void *data, int code) { static_cast<Connection *>(data)->connack = code; }

// Only Home Assistant's "online" is acted on; anything else is ignored.
void on_message(mosquitto *, void *data, const mosquitto_message *message)
{
    Connection &c = *static_cast<Connection *>(data);
    if (message->topic && c.p->topics.announcement == message->topic &&
        message->payloadlen == 6 && std::memcmp(message->payload, "online", 6) == 0)
        c.announced = 1;
}

// The library's texts end in a full stop, which the log line goes on after.
std::string plain(std::string text, const char *drop_prefix = "")
{
    if (text.compare(0, std::strlen(drop_prefix), drop_prefix) == 0)
        text.erase(0, std::strlen(drop_prefix));
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    return text;
}

std::string error_text(int rc)
{
    return plain(rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc));
}

void publish(Connection &c, const std::string &topic, const std::string &payload, int qos)
{
    const int rc = mosquitto_publish(c.m, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                                     payload.data(), qos, true);
    std::string &trouble = c.p->publish_trouble;
    const std::string why = rc == MOSQ_ERR_SUCCESS ? std::string() : error_text(rc);
    if (why == trouble)
        return;
    const std::string line = why.empty() ? "MQTT: publishing again"
                                         : "MQTT: cannot publish to " + topic + ": " + why;
    trouble = why;
    c.p->log(line.c_str());
}

void publish_discovery(Connection &c)
{
    const Publisher &p = *c.p;
    for (const Sensor &s : station_sensors(p.units))
        publish(c, discovery_topic(p.settings, p.topics, s.key),
                discovery_config(s, p.settings, p.topics), 1);
    // An empty retained config removes the sensor another unit setting made.
    for (const std::string &key : retired_sensor_keys(p.units))
        publish(c, discovery_topic(p.settings, p.topics, key), std::string(), 1);
}

// Publishes what changed since the last call; everything after a connection
// (`all`) or Home Assistant's announcement.
void publish_changes(Connection &c, int all)
{
    Publisher &p = *c.p;
    const int discovery = p.settings.discovery && (all || c.announced);
    std::string state;
    std::vector<UploadStatus> uploads;
    int console, send_console, send_state, send_uploads;
    {
        std::lock_guard<std::mutex> hold(p.lock);
        send_console = all || p.console_generation != c.console_sent;
        send_state = !p.state.empty() && (discovery || all || p.state_generation != c.state_sent);
        send_uploads = !p.uploads.empty() &&
                       (discovery || all || p.uploads_generation != c.uploads_sent);
        if (!discovery && !send_console && !send_state && !send_uploads)
            return;
        console = p.console;
        if (send_state)
            state = p.state;
        uploads = p.uploads;
        c.console_sent = p.console_generation;
        c.state_sent = p.state_generation;
        c.uploads_sent = p.uploads_generation;
    }
    c.announced = 0;
    if (discovery) {
        publish_discovery(c);
        for (const auto &config : upload_discovery(p.settings, p.topics, uploads))
            publish(c, config.first, config.second, 1);
    }
    if (send_uploads)
        publish(c, p.topics.uploads, uploads_message(uploads), 1);
    if (send_console)
        publish(c, p.topics.status, console ? "online" : "offline", 1);
    if (send_state)
        publish(c, p.topics.state, state, 0);
}

int stopping(Publisher &p)
{
    std::lock_guard<std::mutex> hold(p.lock);
    return p.stopping;
}

void log_once(Publisher &p, std::string *last, const std::string &event)
{
    if (event == *last)
        return;
    *last = event;
    p.log(event.c_str());
}

// "offline" retained, then a clean disconnect, which keeps the will unsent.
void say_goodbye(Connection &c)
{
    publish(c, c.p->topics.status, "offline", 1);
    mosquitto_disconnect(c.m);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    while (mosquitto_loop(c.m, 50, 1) == MOSQ_ERR_SUCCESS && std::chrono::steady_clock::now() < until) {
    }
}

int make_client(Connection &c, std::string *why)
{
    const Publisher &p = *c.p;
    c.m = mosquitto_new(nullptr, true, &c);
    if (!c.m) {
        *why = "no memory for the client";
        return 0;
    }
    int rc = mosquitto_will_set(c.m, p.topics.status.c_str(), 7, "offline", 1, true);
    if (rc == MOSQ_ERR_SUCCESS && !p.settings.user.empty())
        rc = mosquitto_username_pw_set(c.m, p.settings.user.c_str(),
                                       p.settings.password.empty() ? nullptr
                                                                   : p.settings.password.c_str());
    if (rc == MOSQ_ERR_SUCCESS && p.settings.tls) {
        const int own_ca = !p.settings.ca_file.empty();
        rc = mosquitto_tls_set(c.m, own_ca ? p.settings.ca_file.c_str() : nullptr,
                               own_ca ? nullptr : "/etc/ssl/certs", nullptr, nullptr, nullptr);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        *why = "cannot set up the client: " + error_text(rc);
        return 0;
    }
    mosquitto_connect_callback_set(c.m, on_connect);
    mosquitto_message_callback_set(c.m, on_message);
    return 1;
}

// One connection from attempt to end. 1 when the broker accepted it; the
// reason it ended (or never began) in `event`.
int run_connection(Publisher &p, std::string *last, std::string *event)
{
    Connection c;
    c.p = &p;
    int connected = 0;
    std::string why;
    if (!make_client(c, &why)) {
        *event = "MQTT: " + why;
    } else if (const int rc = mosquitto_connect(c.m, p.settings.host.c_str(), p.settings.port,
                                                KEEPALIVE_S)) {
        *event = "MQTT: cannot connect to " + p.where + ": " + error_text(rc);
    } else {
        const auto deadline = std::chrono::steady_clock::now() + CONNACK_WAIT;
        for (;;) {
            const int rc = mosquitto_loop(c.m, 100, 1);
            if (c.connack > 0) {
                *event = "MQTT: " + p.where + " refused the connection: " +
                         plain(mosquitto_connack_string(c.connack), "Connection Refused: ");
                break;
            }
            if (c.connack == 0 && !connected) {
                connected = 1;
                log_once(p, last, "MQTT: connected to " + p.where);
                if (p.settings.discovery)
                    mosquitto_subscribe(c.m, nullptr, p.topics.announcement.c_str(), 0);
                publish_changes(c, 1);
            }
            if (rc != MOSQ_ERR_SUCCESS) {
                *event = connected ? "MQTT: lost the connection to " + p.where + ": " + error_text(rc)
                                   : "MQTT: cannot connect to " + p.where + ": " + error_text(rc);
                break;
            }
            if (stopping(p)) {
                if (connected)
                    say_goodbye(c);
                break;
            }
            if (connected)
                publish_changes(c, 0);
            else if (std::chrono::steady_clock::now() > deadline) {
                *event = "MQTT: cannot connect to " + p.where + ": no answer";
                break;
            }
        }
    }
    if (c.m)
        mosquitto_destroy(c.m);
    return connected;
}

void run(Publisher *p)
{
    std::string last;
    int pause = 0;
    while (!stopping(*p)) {
        std::string event;
        if (run_connection(*p, &last, &event))
            pause = 0;
        if (stopping(*p))
            break;
        pause = next_retry_pause(pause);
        log_once(*p, &last, event + "; trying again, pausing 1 s growing to 60 s");
        std::unique_lock<std::mutex> hold(p->lock);
        p->wake.wait_for(hold, std::chrono::seconds(pause), [p] { return p->stopping != 0; });
    }
    std::lock_guard<std::mutex> hold(p->lock);
    p->finished = 1;
    p->wake.notify_all();
}

} // namespace

Publisher *publisher_start(const MqttSettings &settings, const UnitSettings &units,
                           void (*log)(const char *line))
{
    if (settings.host.empty())
        return nullptr;
    static const int initialised = mosquitto_lib_init();
    (void)initialised;
    Publisher *p = new Publisher;
    p->settings = settings;
    if (!p->settings.port)
        p->settings.port = settings.tls ? 8883 : 1883;
    p->units = units;
    p->topics = mqtt_topics(settings);
    const int bracket = settings.host.find(':') != std::string::npos;
    p->where = (bracket ? "[" + settings.host + "]" : settings.host) + ":" +
               std::to_string(p->settings.port);
    p->log = log;
    p->thread = std::thread(run, p);
    return p;
}

void publisher_console(Publisher *p, int connected)
{
    if (!p)
        return;
    std::lock_guard<std::mutex> hold(p->lock);
    p->console = connected != 0;
    ++p->console_generation;
}

void publisher_state(Publisher *p, const std::string &message)
{
    if (!p)
        return;
    std::lock_guard<std::mutex> hold(p->lock);
    p->state = message;
    ++p->state_generation;
}

void publisher_uploads(Publisher *p, const std::vector<UploadStatus> &services)
{
    if (!p)
        return;
    {
        std::lock_guard<std::mutex> hold(p->lock);
        p->uploads = services;
        ++p->uploads_generation;
    }
    p->wake.notify_all();
}

void publisher_stop(Publisher *p, int wait_ms)
{
    if (!p)
        return;
    std::unique_lock<std::mutex> hold(p->lock);
    p->stopping = 1;
    p->wake.notify_all();
    // A connect stuck on an unanswering host is left to end with the process.
    if (!p->wake.wait_for(hold, std::chrono::milliseconds(wait_ms), [p] { return p->finished != 0; })) {
        hold.unlock();
        p->thread.detach();
        return;
    }
    hold.unlock();
    p->thread.join();
    delete p;
}
