// A world file of a test program, registered in the prefix with the simulator's tool for as long
// as the object lives. Several worlds may be registered at once, so that test programs running
// side by side do not collide.
#pragma once

#include <string>

class SimulatedWorld {
public:
    explicit SimulatedWorld(const std::string& json);
    ~SimulatedWorld();
    SimulatedWorld(const SimulatedWorld&) = delete;
    SimulatedWorld& operator=(const SimulatedWorld&) = delete;

    bool Ready() const { return ready_; }

private:
    bool ready_ = false;
    std::wstring file_;
};
