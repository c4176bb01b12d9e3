#pragma once
#include <sys/types.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

struct mosquitto;

// A mosquitto broker of the test's own, on a free loopback port, with a generated
// configuration in the test's folder.
class Broker {
public:
    struct Config {
        bool persistence = false;
        int port = 0;  // 0: a free one
        // TLS: a second listener with these files; the plain one stays for the test's subscriber.
        std::filesystem::path caFile, certFile, keyFile;
        std::filesystem::path passwordFile;  // user names and hashes; anonymous refused
        std::filesystem::path aclFile;       // access rules; Reload rereads them
    };

    Broker(std::filesystem::path folder, Config config);
    ~Broker();

    // Starts the broker and waits (bounded) until it takes connections.
    bool Start();
    void Stop();  // SIGTERM: a clean stop that saves a persistent state
    void Kill();
    // SIGHUP: rereads the access rules; returns once the broker's log says so (bounded).
    bool Reload();
    bool Running() const { return pid_ > 0; }
    int Port() const { return port_; }
    int TlsPort() const { return tlsPort_; }

private:
    std::filesystem::path folder_;
    Config config_;
    int port_ = 0;
    int tlsPort_ = 0;
    pid_t pid_ = -1;
};

// A free TCP port on 127.0.0.1 (nothing listens there when this returns).
int FreePort();

// Runs a command line (through /bin/sh); true when it exits with 0.
bool Run(const std::string& command);

// A subscriber on libmosquitto's own thread that keeps every message it receives.
class Subscriber {
public:
    struct Message {
        std::string topic;
        std::string payload;
        bool retained = false;
    };

    // cleanSession false keeps the subscription and queued messages across broker restarts.
    Subscriber(int port, std::vector<std::string> topics, std::string id = "test-sub",
               bool cleanSession = true, std::string user = {}, std::string password = {});
    ~Subscriber();

    // Waits until at least count messages on topic have arrived (bounded by timeoutMs).
    bool WaitFor(const std::string& topic, std::size_t count, int timeoutMs = 10000);
    bool WaitConnected(int timeoutMs = 10000);
    std::vector<Message> On(const std::string& topic) const;
    std::vector<Message> All() const;
    void Clear();
    void Publish(const std::string& topic, const std::string& payload, bool retain = false);

private:
    static void OnConnect(mosquitto*, void*, int);
    static void OnMessage(mosquitto*, void*, const struct mosquitto_message*);
    static void OnSubscribe(mosquitto*, void*, int, int, const int*);

    mosquitto* mosq_ = nullptr;
    std::vector<std::string> topics_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Message> messages_;
    bool connected_ = false;
    std::size_t subscribed_ = 0;
};
