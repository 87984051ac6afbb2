// The device end of COM ports under Wine, for the Windows suites: a Linux program that makes a
// pseudo-terminal for each COM number asked for, links <dosdevices>/com<n> to it (Wine's COM n),
// runs a command (the suite under Wine), and meanwhile appends every byte that arrives on COM n
// to <state>/com<n>.bytes. The suite reads those files through Wine's Z: drive.
//
// The suite takes a device away and brings it back through files in the state folder:
//   com<n>.hangup   the rig closes the terminal, as an adapter pulled out, and writes com<n>.away
//   com<n>.return   the rig makes a new terminal under the same link and writes com<n>.back
// Each request file is removed once done.
//
//   pty-rig DOSDEVICES STATE N... -- COMMAND [ARGUMENTS...]
// The command finds STATE in the environment variable ORLESSE_RIG_STATE. Exits with the
// command's exit code.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Port {
    int number = 0;
    int master = -1;
    int slave = -1;  // kept open, so the terminal does not hang up between two opens by Wine
    std::string link;
    std::string bytes;
};

bool exists(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

void touch(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        ::close(fd);
    }
}

// Makes a raw pseudo-terminal for port and points its link at it.
bool openTerminal(Port& port) {
    port.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (port.master < 0 || ::grantpt(port.master) != 0 || ::unlockpt(port.master) != 0) {
        std::perror("pty-rig: posix_openpt");
        return false;
    }
    const char* name = ::ptsname(port.master);
    port.slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (port.slave < 0) {
        std::perror("pty-rig: open slave");
        return false;
    }
    ::unlink(port.link.c_str());
    if (::symlink(name, port.link.c_str()) != 0) {
        std::perror("pty-rig: symlink");
        return false;
    }
    return true;
}

void closeTerminal(Port& port) {
    ::close(port.master);
    ::close(port.slave);
    port.master = port.slave = -1;
}

// Appends what has arrived on port to its bytes file (the master does not block).
void drain(Port& port) {
    char buffer[4096];
    const ssize_t n = ::read(port.master, buffer, sizeof buffer);
    if (n <= 0) {
        return;
    }
    const int fd = ::open(port.bytes.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd >= 0) {
        if (::write(fd, buffer, size_t(n)) != n) {
            std::perror("pty-rig: write");
        }
        ::close(fd);
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: pty-rig DOSDEVICES STATE N... -- COMMAND [ARGUMENTS...]\n");
        return 2;
    }
    const std::string dosdevices = argv[1];
    const std::string state = argv[2];
    ::mkdir(state.c_str(), 0755);
    std::vector<Port> ports;
    int arg = 3;
    for (; arg < argc && std::strcmp(argv[arg], "--") != 0; ++arg) {
        Port port;
        port.number = std::atoi(argv[arg]);
        port.link = dosdevices + "/com" + std::to_string(port.number);
        port.bytes = state + "/com" + std::to_string(port.number) + ".bytes";
        ::unlink(port.bytes.c_str());
        if (!openTerminal(port)) {
            return 2;
        }
        ports.push_back(port);
    }
    if (arg + 1 >= argc) {
        std::fprintf(stderr, "pty-rig: no command after --\n");
        return 2;
    }

    // The suite finds the state folder here.
    ::setenv("ORLESSE_RIG_STATE", state.c_str(), 1);
    const pid_t child = ::fork();
    if (child == 0) {
        ::execvp(argv[arg + 1], argv + arg + 1);
        std::perror("pty-rig: exec");
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        std::vector<pollfd> watched;
        for (const Port& port : ports) {
            if (port.master >= 0) {
                watched.push_back({port.master, POLLIN, 0});
            }
        }
        // The request files are looked at every 20 ms.
        ::poll(watched.data(), watched.size(), 20);
        for (Port& port : ports) {
            const std::string base = state + "/com" + std::to_string(port.number);
            if (port.master >= 0) {
                drain(port);
            }
            if (port.master >= 0 && exists(base + ".hangup")) {
                closeTerminal(port);
                ::unlink((base + ".hangup").c_str());
                ::unlink((base + ".back").c_str());
                touch(base + ".away");
            }
            if (port.master < 0 && exists(base + ".return") && openTerminal(port)) {
                ::unlink((base + ".return").c_str());
                ::unlink((base + ".away").c_str());
                touch(base + ".back");
            }
        }
    }
    for (Port& port : ports) {
        if (port.master >= 0) {
            drain(port);
            closeTerminal(port);
        }
        ::unlink(port.link.c_str());
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
