#include "fake_platform/fake_platform.h"

#include "state/platform.h"

FakePlatform g_fake;

void FakeReset() {
    std::lock_guard<std::mutex> guard(g_fake.lock);
    g_fake.moves.clear();
    g_fake.calls.clear();
    for (auto& k : g_fake.keyDown) k.store(false);
    g_fake.onInject = nullptr;
}

std::vector<InjectedMove> FakeMoves() {
    std::lock_guard<std::mutex> guard(g_fake.lock);
    return g_fake.moves;
}

std::vector<std::string> FakeCalls() {
    std::lock_guard<std::mutex> guard(g_fake.lock);
    return g_fake.calls;
}

void FakeRecord(const std::string& call) {
    std::lock_guard<std::mutex> guard(g_fake.lock);
    g_fake.calls.push_back(call);
}

bool PlatformIsKeyDown(PlatformKey key) { return g_fake.keyDown[key].load(); }

void PlatformInjectAbsoluteMove(int32_t dx, int32_t dy) {
    {
        std::lock_guard<std::mutex> guard(g_fake.lock);
        g_fake.moves.push_back({dx, dy});
    }
    if (g_fake.onInject != nullptr) g_fake.onInject(dx, dy);
}
