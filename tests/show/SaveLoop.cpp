// Writes the two versions of every file in turn until it is killed; prints
// "started" once each file exists.
//
//   show_save_loop HOME
#include "SaveVersions.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: show_save_loop HOME\n");
        return 2;
    }
    const QString home = QString::fromLocal8Bit(argv[1]);
    for (long long round = 0;; ++round) {
        if (!WriteSaveLoopVersion(home, int(round % 2))) {
            std::fprintf(stderr, "a write failed\n");
            return 1;
        }
        if (round == 1) {
            std::printf("started\n");
            std::fflush(stdout);
        }
    }
}
