#include "e2e/e2e.h"
#include "support/test_files.h"

#include <chrono>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

static void copy_executable(const std::string &from, const std::string &to)
{
    write_file(to, read_file(from));
    chmod(to.c_str(), 0755);
}

e2e_game::e2e_game(const std::string &name)
{
    std::string templ = "/tmp/zintarel-e2e-" + name + "-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back(0);
    root = mkdtemp(buf.data()) ? buf.data() : "/tmp";
    // A real copy: the runtime writes beside its executable, and the file system refuses links.
    copy_executable(ZINTAREL_BINARY, root + "/zintarel");
    write_file(root + "/font.ttf", read_file(ZINTAREL_FONT));
}

e2e_game::~e2e_game()
{
    if (getenv("ZINTAREL_KEEP_E2E")) return;
    std::string cmd = "rm -rf '" + root + "'";
    if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", root.c_str());
}

void e2e_game::write(const std::string &relative, const std::string &contents) const
{
    write_file(root + "/" + relative, contents);
}

std::string e2e_game::read(const std::string &relative) const { return read_file(root + "/" + relative); }

bool e2e_game::exists(const std::string &relative) const
{
    struct stat st;
    return stat((root + "/" + relative).c_str(), &st) == 0;
}

e2e_run e2e_game::run(const std::vector<std::string> &args, int timeout_seconds,
                      const std::vector<std::string> &extra_env, const e2e_signal *signal) const
{
    e2e_run result;
    std::string out_path = root + "/.stdout", err_path = root + "/.stderr";
    // Everything the child needs is made before the fork: a test may run other threads,
    // and the child may then only make async-signal-safe calls.
    // The test's own entries come first and win over the headless defaults and the environment.
    std::vector<std::string> env_strings = extra_env;
    std::vector<const char *> inherited = {"SDL_VIDEODRIVER=dummy", "ALSOFT_DRIVERS=null"};
    for (char **e = environ; *e; e++) inherited.push_back(*e);
    for (const char *e : inherited) {
        const char *eq = strchr(e, '=');
        size_t name_length = eq ? (size_t)(eq - e) + 1 : strlen(e);
        bool replaced = false;
        for (const std::string &mine : env_strings)
            if (mine.compare(0, name_length, e, name_length) == 0) replaced = true;
        if (!replaced) env_strings.push_back(e);
    }
    std::vector<char *> envp, argv = {(char *)"./zintarel"};
    for (std::string &e : env_strings) envp.push_back(&e[0]);
    envp.push_back(nullptr);
    for (const std::string &a : args) argv.push_back((char *)a.c_str());
    argv.push_back(nullptr);

    auto start = std::chrono::steady_clock::now();
    auto elapsed = [&start] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
    pid_t pid = fork();
    if (pid == 0) {
        int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || chdir(root.c_str()) != 0) _exit(126);
        dup2(out, 1);
        dup2(err, 2);
        execve("./zintarel", argv.data(), envp.data());
        _exit(127);
    }
    int status = 0;
    bool signalled = false;
    double ready_at = -1; // when the signal's file was first seen
    for (;;) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (signal && !signalled) {
            if (ready_at < 0 && (signal->when_exists.empty() || exists(signal->when_exists))) ready_at = elapsed();
            if (ready_at >= 0 && (elapsed() - ready_at) * 1000 >= signal->after_ms) {
                kill(pid, signal->number);
                signalled = true;
            }
        }
        if (elapsed() > timeout_seconds) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    result.seconds = elapsed();
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    result.out = read_file(out_path);
    result.err = read_file(err_path);
    return result;
}
