#include "tests/publish/Broker.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

extern char** environ;

namespace {

bool Accepts(int port) {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(s);
    return ok;
}

}  // namespace

int FreePort() {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    close(s);
    return ntohs(a.sin_port);
}

bool Run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

Broker::Broker(std::filesystem::path folder, Config config)
    : folder_(std::move(folder)), config_(std::move(config)) {
    std::filesystem::create_directories(folder_);
    port_ = config_.port != 0 ? config_.port : FreePort();
    if (!config_.caFile.empty()) {
        tlsPort_ = FreePort();
    }
}

Broker::~Broker() {
    Kill();
}

bool Broker::Start() {
    const auto conf = folder_ / "mosquitto.conf";
    {
        std::ofstream out(conf);
        if (geteuid() == 0) {
            out << "user root\n";  // else it drops to a user that cannot read this folder
        }
        out << "per_listener_settings false\n";
        // A slow subscriber must not lose what the tests count.
        out << "max_queued_messages 0\nmax_queued_bytes 0\n";
        out << "log_dest file " << (folder_ / "broker.log").string() << "\n";
        out << "log_type all\n";
        if (config_.persistence) {
            out << "persistence true\npersistence_location " << folder_.string() << "/\n";
            out << "autosave_interval 1\n";
        } else {
            out << "persistence false\n";
        }
        if (config_.passwordFile.empty()) {
            out << "allow_anonymous true\n";
        } else {
            out << "allow_anonymous false\npassword_file " << config_.passwordFile.string() << "\n";
        }
        if (!config_.aclFile.empty()) {
            out << "acl_file " << config_.aclFile.string() << "\n";
        }
        out << "listener " << port_ << " 127.0.0.1\n";
        if (tlsPort_ != 0) {
            out << "listener " << tlsPort_ << " 127.0.0.1\n"
                << "cafile " << config_.caFile.string() << "\n"
                << "certfile " << config_.certFile.string() << "\n"
                << "keyfile " << config_.keyFile.string() << "\n";
        }
    }
    const std::string confPath = conf.string();
    char* argv[] = {const_cast<char*>("mosquitto"), const_cast<char*>("-c"),
                    const_cast<char*>(confPath.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, (folder_ / "broker.err").c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    const int rc = posix_spawn(&pid_, "/usr/sbin/mosquitto", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        pid_ = -1;
        return false;
    }
    // Nothing tells when the listener is up but the listener itself.
    for (int i = 0; i < 500; ++i) {
        if (Accepts(port_) && (tlsPort_ == 0 || Accepts(tlsPort_))) {
            return true;
        }
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void Broker::Stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
}

bool Broker::Reload() {
    const auto log = folder_ / "broker.log";
    auto reloads = [&] {
        std::ifstream in(log);
        std::string line;
        int n = 0;
        while (std::getline(in, line)) {
            n += line.find("Reloading config") != std::string::npos;
        }
        return n;
    };
    const int before = reloads();
    if (pid_ <= 0 || kill(pid_, SIGHUP) != 0) {
        return false;
    }
    for (int i = 0; i < 500; ++i) {
        if (reloads() > before) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void Broker::Kill() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
}

Subscriber::Subscriber(int port, std::vector<std::string> topics, std::string id, bool cleanSession,
                       std::string user, std::string password)
    : topics_(std::move(topics)) {
    mosquitto_lib_init();
    mosq_ = mosquitto_new(id.c_str(), cleanSession, this);
    if (!user.empty()) {
        mosquitto_username_pw_set(mosq_, user.c_str(), password.c_str());
    }
    mosquitto_connect_callback_set(mosq_, &Subscriber::OnConnect);
    mosquitto_message_callback_set(mosq_, &Subscriber::OnMessage);
    mosquitto_subscribe_callback_set(mosq_, &Subscriber::OnSubscribe);
    mosquitto_reconnect_delay_set(mosq_, 1, 1, false);
    mosquitto_connect_async(mosq_, "127.0.0.1", port, 10);
    mosquitto_loop_start(mosq_);
}

Subscriber::~Subscriber() {
    // The disconnect ends the network thread's loop; forcing it (thread cancellation) could
    // leave the library's mutexes locked.
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, false);
    mosquitto_destroy(mosq_);
}

void Subscriber::OnConnect(mosquitto* m, void* self, int rc) {
    auto* s = static_cast<Subscriber*>(self);
    if (rc != 0) {
        return;
    }
    for (const std::string& t : s->topics_) {
        mosquitto_subscribe(m, nullptr, t.c_str(), 1);
    }
}

void Subscriber::OnSubscribe(mosquitto*, void* self, int, int, const int*) {
    // Ready once the broker has taken every subscription.
    auto* s = static_cast<Subscriber*>(self);
    std::lock_guard guard(s->mutex_);
    if (++s->subscribed_ >= s->topics_.size()) {
        s->connected_ = true;
        s->changed_.notify_all();
    }
}

void Subscriber::OnMessage(mosquitto*, void* self, const mosquitto_message* m) {
    auto* s = static_cast<Subscriber*>(self);
    std::lock_guard guard(s->mutex_);
    s->messages_.push_back(
        {m->topic,
         std::string(static_cast<const char*>(m->payload), static_cast<std::size_t>(m->payloadlen)),
         m->retain});
    s->changed_.notify_all();
}

bool Subscriber::WaitFor(const std::string& topic, std::size_t count, int timeoutMs) {
    std::unique_lock guard(mutex_);
    return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] {
        std::size_t n = 0;
        for (const Message& m : messages_) {
            n += m.topic == topic ? 1 : 0;
        }
        return n >= count;
    });
}

bool Subscriber::WaitConnected(int timeoutMs) {
    std::unique_lock guard(mutex_);
    return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                             [&] { return connected_; });
}

std::vector<Subscriber::Message> Subscriber::On(const std::string& topic) const {
    std::lock_guard guard(mutex_);
    std::vector<Message> out;
    for (const Message& m : messages_) {
        if (m.topic == topic) {
            out.push_back(m);
        }
    }
    return out;
}

std::vector<Subscriber::Message> Subscriber::All() const {
    std::lock_guard guard(mutex_);
    return messages_;
}

void Subscriber::Clear() {
    std::lock_guard guard(mutex_);
    messages_.clear();
}

void Subscriber::Publish(const std::string& topic, const std::string& payload, bool retain) {
    mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                      payload.data(), 1, retain);
}
