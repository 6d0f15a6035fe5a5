#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

#include <benchmark/benchmark.h>

/// The times of a subject and its baseline, taken in the same iterations (subject and
/// baseline interleaved), and the counters every ratio benchmark reports: the ratio of the
/// medians ("ratio"; an iteration disturbed by another process on a shared machine does not
/// move it), the ratio of the means ("ratio_mean") and both medians in microseconds.
class RatioTimes
{
public:
    using Duration = std::chrono::steady_clock::duration;

    void Add(Duration subject, Duration baseline)
    {
        m_subject.push_back(subject);
        m_baseline.push_back(baseline);
    }

    void Report(benchmark::State& state, const char* subjectName = "client_us",
                const char* baselineName = "bare_us")
    {
        if (m_subject.empty())
            return;
        using Micro = std::chrono::duration<double, std::micro>;
        const double subjectMedian = Micro(Median(m_subject)).count();
        const double baselineMedian = Micro(Median(m_baseline)).count();
        Duration subjectSum{};
        Duration baselineSum{};
        for (std::size_t i = 0; i < m_subject.size(); ++i) {
            subjectSum += m_subject[i];
            baselineSum += m_baseline[i];
        }
        state.counters[subjectName] = subjectMedian;
        state.counters[baselineName] = baselineMedian;
        if (baselineMedian > 0)
            state.counters["ratio"] = subjectMedian / baselineMedian;
        if (baselineSum.count() > 0)
            state.counters["ratio_mean"] = Micro(subjectSum).count() / Micro(baselineSum).count();
    }

private:
    static Duration Median(std::vector<Duration> values)
    {
        const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
        std::nth_element(values.begin(), middle, values.end());
        return *middle;
    }

    std::vector<Duration> m_subject;
    std::vector<Duration> m_baseline;
};
