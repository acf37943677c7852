#include "e2e/e2e.h"
#include "support/read_file.h"

#include <chrono>
#include <fcntl.h>
#include <string.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

static void make_dirs(const std::string &path)
{
    for (size_t i = 1; i <= path.size(); i++)
        if (i == path.size() || path[i] == '/') mkdir(path.substr(0, i).c_str(), 0755);
}

static void copy_file(const std::string &from, const std::string &to)
{
    std::string data = read_file(from);
    FILE *f = fopen(to.c_str(), "wb");
    if (!f) return;
    fwrite(data.data(), 1, data.size(), f);
    fclose(f);
    chmod(to.c_str(), 0755);
}

e2e_game::e2e_game(const std::string &name)
{
    std::string templ = "/tmp/zintarel-e2e-" + name + "-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back(0);
    root = mkdtemp(buf.data()) ? buf.data() : "/tmp";
    // A real copy: the runtime writes beside its executable, and the file system refuses links.
    copy_file(ZINTAREL_BINARY, root + "/zintarel");
    copy_file(ZINTAREL_FONT, root + "/font.ttf");
}

e2e_game::~e2e_game()
{
    if (getenv("ZINTAREL_KEEP_E2E")) return;
    std::string cmd = "rm -rf '" + root + "'";
    if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", root.c_str());
}

void e2e_game::write(const std::string &relative, const std::string &contents) const
{
    std::string path = root + "/" + relative;
    make_dirs(path.substr(0, path.rfind('/')));
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) return;
    fwrite(contents.data(), 1, contents.size(), f);
    fclose(f);
}

std::string e2e_game::read(const std::string &relative) const { return read_file(root + "/" + relative); }

bool e2e_game::exists(const std::string &relative) const
{
    struct stat st;
    return stat((root + "/" + relative).c_str(), &st) == 0;
}

e2e_run e2e_game::run(const std::vector<std::string> &args, int timeout_seconds,
                      const std::vector<std::string> &extra_env, int signal_after_ms, int signal_number) const
{
    e2e_run result;
    std::string out_path = root + "/.stdout", err_path = root + "/.stderr";
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(root.c_str()) != 0) _exit(126);
        int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(err, 2);
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("ALSOFT_DRIVERS", "null", 1);
        for (const std::string &e : extra_env) putenv(strdup(e.c_str()));
        std::vector<char *> argv;
        argv.push_back((char *)"./zintarel");
        for (const std::string &a : args) argv.push_back((char *)a.c_str());
        argv.push_back(nullptr);
        execv("./zintarel", argv.data());
        _exit(127);
    }
    int status = 0;
    bool termed = false;
    for (;;) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (signal_after_ms >= 0 && !termed && elapsed * 1000 >= signal_after_ms) {
            kill(pid, signal_number);
            termed = true;
        }
        if (elapsed > timeout_seconds) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    result.out = read_file(out_path);
    result.err = read_file(err_path);
    return result;
}
