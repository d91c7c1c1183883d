// What a port's session did, for those who keep a record of it (the session log, the
// report): its steps, every packet exchange, every plain-text exchange, the terminal's
// identity as read, the images it received and its results. The port view shows the
// same session; these events carry what a row has no room for.
// Thread safety: the engine calls these from the session's thread for its own port;
// run control calls SessionBegan before that thread starts and SessionEnded after it was
// joined, on the front end's thread. Sessions of different ports call at once, so an
// implementation guards its per-port records. Every call must be quick: it runs between
// the exchanges of a transfer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// One packet sent and how it was answered.
struct PacketEvent {
    uint32_t command = 0;
    size_t length = 0;        // payload bytes
    size_t index = 0;         // the packet's place in its transfer; 0 for a single command
    std::string_view status;  // "OK", or why the exchange failed ("Time out", "remote: ...")
    uint32_t ms = 0;          // from writing the packet to its answer (or failure)
};

class ISessionEvents {
public:
    virtual ~ISessionEvents() = default;
    // bindingPosition: as the port's row shows it (may be empty).
    virtual void SessionBegan(int /*nPort*/, const std::string& /*bindingPosition*/) {}
    // A step of the port's row; nTotal: the size of the transfer the step makes, else 0.
    virtual void Step(int /*nPort*/, int /*nStep*/, uint32_t /*nTotal*/) {}
    virtual void Packet(int /*nPort*/, const PacketEvent& /*packet*/) {}
    // A plain-text command and its answer ("OKAY", the TUSN reply, or why none came).
    virtual void PlainText(int /*nPort*/, std::string_view /*sent*/, std::string_view /*answer*/) {}
    // The whole answer to the version query, its lines joined by " | ".
    virtual void LoaderVersion(int /*nPort*/, std::string_view /*text*/) {}
    virtual void Tusn(int /*nPort*/, std::string_view /*tusn*/) {}
    // An application image the terminal accepted whole.
    virtual void ImageDelivered(int /*nPort*/, std::span<const uint8_t> /*image*/) {}
    // A result as the row gets it. interim: a terminal found in its application gets
    // this before it is sent to its loader; the session goes on.
    virtual void Result(int /*nPort*/, bool /*success*/, const int* /*command*/, std::string_view /*message*/,
                        bool /*interim*/) {}
    virtual void SessionEnded(int /*nPort*/) {}
};

// Hands every event to each of several receivers, in the order they were added.
// Thread safety: Add before the run; the events as ISessionEvents says.
class SessionEventsFan final : public ISessionEvents {
public:
    void Add(ISessionEvents& receiver) { receivers_.push_back(&receiver); }

    void SessionBegan(int nPort, const std::string& bindingPosition) override {
        for (ISessionEvents* r : receivers_) r->SessionBegan(nPort, bindingPosition);
    }
    void Step(int nPort, int nStep, uint32_t nTotal) override {
        for (ISessionEvents* r : receivers_) r->Step(nPort, nStep, nTotal);
    }
    void Packet(int nPort, const PacketEvent& packet) override {
        for (ISessionEvents* r : receivers_) r->Packet(nPort, packet);
    }
    void PlainText(int nPort, std::string_view sent, std::string_view answer) override {
        for (ISessionEvents* r : receivers_) r->PlainText(nPort, sent, answer);
    }
    void LoaderVersion(int nPort, std::string_view text) override {
        for (ISessionEvents* r : receivers_) r->LoaderVersion(nPort, text);
    }
    void Tusn(int nPort, std::string_view tusn) override {
        for (ISessionEvents* r : receivers_) r->Tusn(nPort, tusn);
    }
    void ImageDelivered(int nPort, std::span<const uint8_t> image) override {
        for (ISessionEvents* r : receivers_) r->ImageDelivered(nPort, image);
    }
    void Result(int nPort, bool success, const int* command, std::string_view message, bool interim) override {
        for (ISessionEvents* r : receivers_) r->Result(nPort, success, command, message, interim);
    }
    void SessionEnded(int nPort) override {
        for (ISessionEvents* r : receivers_) r->SessionEnded(nPort);
    }

private:
    std::vector<ISessionEvents*> receivers_;
};

}  // namespace korvane
