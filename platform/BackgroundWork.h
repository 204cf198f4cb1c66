#pragma once

#include <future>
#include <system_error>
#include <type_traits>
#include <utility>

namespace kolvane {

// Runs `work` on a thread of its own. Where no thread can be had, it runs
// when its result is first asked for, on the thread that asks.
template <typename Work>
std::future<std::invoke_result_t<std::decay_t<Work>>> StartBackgroundWork(Work&& work) {
    try {
        return std::async(std::launch::async, work);
    } catch (const std::system_error&) {
        return std::async(std::launch::deferred, std::forward<Work>(work));
    }
}

}  // namespace kolvane
