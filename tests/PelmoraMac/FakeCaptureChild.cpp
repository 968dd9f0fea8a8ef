// A stand-in for the capture worker in the launcher's tests: what it does with its standard input and
// output is chosen by its one argument.
//   echo   copies its input to its output, then exits 0
//   fds    reads its input to the end, then writes the numbers of its open descriptors, one per line
//   env    reads its input to the end, then writes its environment, one variable per line
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern char** environ;

namespace {

void drainInput() {
    char buffer[65536];
    while (read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
}

void writeText(const std::string& text) {
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t count = write(STDOUT_FILENO, text.data() + written, text.size() - written);
        if (count <= 0) return;
        written += size_t(count);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const std::string mode = argv[1];
    if (mode == "echo") {
        char buffer[65536];
        ssize_t count;
        while ((count = read(STDIN_FILENO, buffer, sizeof buffer)) > 0) writeText(std::string(buffer, size_t(count)));
        return 0;
    }
    if (mode == "fds") {
        drainInput();
        DIR* folder = opendir("/proc/self/fd");
        if (!folder) return 3;
        std::string numbers;
        while (const dirent* entry = readdir(folder)) {
            if (entry->d_name[0] == '.') continue;
            if (std::atoi(entry->d_name) == dirfd(folder)) continue;
            numbers += entry->d_name;
            numbers += '\n';
        }
        closedir(folder);
        writeText(numbers);
        return 0;
    }
    if (mode == "env") {
        drainInput();
        std::string variables;
        for (char** entry = environ; *entry; ++entry) variables += std::string(*entry) + '\n';
        writeText(variables);
        return 0;
    }
    return 2;
}
