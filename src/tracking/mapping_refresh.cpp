#include "tracking/mapping_refresh.h"

#include <atomic>
#include <cstdint>

#include "tracking/mapping.h"

namespace {

// Counters of requests made and met. Release on each publishes the screen
// size (for a request) or the coefficients (for a solve) along with it.
std::atomic<uint32_t> g_requested{0};
std::atomic<uint32_t> g_solved{0};

}  // namespace

void RequestMappingRefresh() { g_requested.fetch_add(1, std::memory_order_release); }

void SolveMappingAtTrackingStart() {
    // Acquire the worker's last re-solve before writing the same doubles.
    g_solved.load(std::memory_order_acquire);
    const uint32_t requested = g_requested.load(std::memory_order_acquire);
    SolveMapping();
    g_solved.store(requested, std::memory_order_release);
}

void RefreshMappingIfRequested() {
    const uint32_t requested = g_requested.load(std::memory_order_acquire);
    if (requested == g_solved.load(std::memory_order_acquire)) return;
    SolveMapping();
    g_solved.store(requested, std::memory_order_release);
}
