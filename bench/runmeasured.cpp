// Runs one program and prints its CPU time, peak RSS and wall time as
//   cpu_s=<seconds> maxrss_kib=<KiB> wall_s=<seconds> idle_wall_s=<seconds>
//
//   px8107-bench-run -- PROGRAM ARGS...               until the program exits by itself
//   px8107-bench-run --settle MS -- PROGRAM ARGS...   until its CPU time has stopped growing
//
// With --settle the program is sampled every 10 ms; once its threads together have used less
// than 1 ms of CPU over the last MS milliseconds it counts as idle and gets SIGTERM. The figures
// then include those MS milliseconds of idling. idle_wall_s is the last sample in which it was
// busy (at least 10 % of a core).

#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <string>
#include <utility>

namespace {

constexpr long sampleMs = 10;
constexpr long long idleThresholdNs = 1000000;
// A sample with this much CPU (10 % of a core) counts as busy for idle_wall_s.
constexpr long long busySampleNs = 1000000;
constexpr long timeoutMs = 30000;

using Clock = std::chrono::steady_clock;

// On-CPU time of the process's live threads, from the scheduler's nanosecond counters.
long long threadCpuNs(pid_t pid)
{
    const std::string taskDir = "/proc/" + std::to_string(pid) + "/task";
    DIR *dir = opendir(taskDir.c_str());
    if (!dir)
        return -1;
    long long total = 0;
    while (const dirent *entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        std::ifstream schedstat(taskDir + "/" + entry->d_name + "/schedstat");
        long long ns = 0;
        if (schedstat >> ns)
            total += ns;
    }
    closedir(dir);
    return total;
}

double secondsSince(Clock::time_point start, Clock::time_point end)
{
    return std::chrono::duration<double>(end - start).count();
}

int usage(const char *self)
{
    std::fprintf(stderr, "usage: %s [--settle MS] -- PROGRAM [ARGS...]\n", self);
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    long settleMs = 0;
    int first = 1;
    if (first + 1 < argc && std::strcmp(argv[first], "--settle") == 0) {
        settleMs = std::strtol(argv[first + 1], nullptr, 10);
        if (settleMs < sampleMs)
            return usage(argv[0]);
        first += 2;
    }
    if (first >= argc || std::strcmp(argv[first], "--") != 0 || first + 1 >= argc)
        return usage(argv[0]);
    char **command = argv + first + 1;

    const Clock::time_point start = Clock::now();
    const pid_t child = fork();
    if (child < 0) {
        std::perror("fork");
        return 1;
    }
    if (child == 0) {
        execvp(command[0], command);
        std::perror(command[0]);
        _exit(127);
    }

    Clock::time_point lastBusy = start;
    bool settled = false;
    if (settleMs > 0) {
        // (time, cpu) samples covering the last settleMs.
        std::deque<std::pair<Clock::time_point, long long>> window;
        while (!settled) {
            usleep(useconds_t(sampleMs * 1000));
            siginfo_t info{};
            if (waitid(P_PID, id_t(child), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                info.si_pid == child)
                break;
            const Clock::time_point now = Clock::now();
            const long long cpu = threadCpuNs(child);
            if (cpu < 0)
                break;
            if (!window.empty() && cpu - window.back().second >= busySampleNs)
                lastBusy = now;
            window.emplace_back(now, cpu);
            const auto span = std::chrono::milliseconds(settleMs);
            while (window.size() > 1 && now - window[1].first >= span)
                window.pop_front();
            settled =
                now - window.front().first >= span && cpu - window.front().second < idleThresholdNs;
            if (secondsSince(start, now) * 1000 > timeoutMs) {
                std::fprintf(stderr, "%s did not settle within %ld ms\n", command[0], timeoutMs);
                break;
            }
        }
        kill(child, SIGTERM);
    }

    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) {
        std::perror("wait4");
        return 1;
    }
    const Clock::time_point end = Clock::now();
    const bool clean = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    const bool stoppedByUs = settled && WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM;
    if (!clean && !stoppedByUs) {
        std::fprintf(stderr, "%s ended abnormally (status %d)\n", command[0], status);
        return 1;
    }
    const double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::printf("cpu_s=%.4f maxrss_kib=%ld wall_s=%.3f idle_wall_s=%.3f\n", cpu, usage.ru_maxrss,
                secondsSince(start, end), secondsSince(start, settleMs > 0 ? lastBusy : end));
    return 0;
}
