// What a call or a program under test came to: the text of the failure a call
// ended in, how long it took, and how an output ends. One set for every
// suite, so that a failure reads the same wherever it is checked.
#ifndef RAVENLINK_TESTS_OUTCOME_H
#define RAVENLINK_TESTS_OUTCOME_H

#include <chrono>
#include <exception>
#include <functional>
#include <string>
#include <thread>

namespace ravenlinktest {

/// The what() of the \p Exception that \p call throws; "" when it returns.
/// An exception of any other type passes on and fails the test.
template <typename Exception = std::exception, typename Call>
std::string failureOf(Call&& call)
{
    try {
        call();
    } catch (const Exception& e) {
        return e.what();
    }
    return "";
}

/// Milliseconds since \p start.
inline long long msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

/// Polls \p done every \p step until it holds (true) or \p timeout has
/// passed (false), for what shows only from outside: a file, a port, a
/// reading at a broker.
template <typename Rep, typename Period>
bool eventually(const std::function<bool()>& done, std::chrono::duration<Rep, Period> timeout,
                std::chrono::milliseconds step = std::chrono::milliseconds(20))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(step);
    }
    return true;
}

/// True when \p text ends with \p tail.
inline bool endsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace ravenlinktest

#endif // RAVENLINK_TESTS_OUTCOME_H
