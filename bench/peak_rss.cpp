// absence_bench_peak_rss OUT PROGRAM [ARG...]: runs PROGRAM, waits for it and
// writes its peak resident set in kB to the file OUT; exits with its status.
//
// A child's peak as the kernel reports it also holds the memory of the process
// it was forked from. From the large benchmark process that would swamp the
// figure; from this small one it does not.

#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char *argv[])
{
    if (argc < 3)
        return 2;
    const pid_t pid = fork();
    if (pid == 0) {
        execv(argv[2], argv + 2);
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid)
        return 2;
    FILE *out = std::fopen(argv[1], "w");
    if (!out)
        return 2;
    std::fprintf(out, "%ld\n", usage.ru_maxrss);
    std::fclose(out);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 2;
}
