#pragma once
// Publishes a device as COM<n> in the user's port map for as long as this object lives.

#include <string>

namespace fanbench::simulator {

class PortLink {
  public:
    PortLink() = default;
    ~PortLink();
    PortLink(const PortLink&) = delete;
    PortLink& operator=(const PortLink&) = delete;

    // Creates the link; refuses (false, with `error`) when a live link of someone else's
    // is there. A dangling link, left by a tester that died, is replaced.
    bool publish(int comPort, const std::string& device, std::string& error);
    void remove();  // only if the link still points at our device

    const std::string& path() const { return path_; }

  private:
    std::string path_;
    std::string device_;
};

}  // namespace fanbench::simulator
