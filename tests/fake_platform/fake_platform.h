// A platform for tests: records what the portable code asks of the system
// and lets a test script what the system answers.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

struct InjectedMove {
    int32_t dx, dy;
};

struct FakePlatform {
    std::mutex lock;
    std::vector<InjectedMove> moves;
    std::vector<std::string> calls;
    std::atomic<bool> keyDown[4];
    // Called on the injecting thread after each move is recorded.
    void (*onInject)(int32_t dx, int32_t dy) = nullptr;
};

extern FakePlatform g_fake;

void FakeReset();
std::vector<InjectedMove> FakeMoves();
std::vector<std::string> FakeCalls();
void FakeRecord(const std::string& call);
