// What the soak runs measure, and the images they cycle through.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "engine/image.h"

namespace halden::soak {

// Resident memory in KiB, and the number of threads, of this process.
struct Usage {
    long residentKiB = 0;
    int threads = 0;
};

inline Usage usage() {
    Usage u;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        long size = 0, resident = 0;
        if (std::fscanf(f, "%ld %ld", &size, &resident) == 2) {
            u.residentKiB = resident * (sysconf(_SC_PAGESIZE) / 1024);
        }
        std::fclose(f);
    }
    if (DIR* d = opendir("/proc/self/task")) {
        while (const dirent* e = readdir(d)) u.threads += e->d_name[0] != '.';
        closedir(d);
    }
    return u;
}

// The simulated Halden answers block 5 with a programming fault: an image with more than
// five blocks meets it, a smaller one does not.
inline constexpr unsigned kFaultyBlock = 5;

inline Bytes area(size_t bytes) {
    Bytes data(bytes);
    for (size_t i = 0; i < bytes; ++i) data[i] = static_cast<uint8_t>((i * 5 + 1) & 0x7F);
    return data;
}

// A good update (blocks 0 to 3 and the closing block 4).
inline Bytes goodImage() {
    ImageBuilder b;
    (void)b.addArea(area(500));
    return b.finish();
}

// An update that the Halden fails at block 5.
inline Bytes faultyImage() {
    ImageBuilder b;
    (void)b.addArea(area(1000));
    return b.finish();
}

// An update that starts with a 2 s pause, in which the soak cancels it.
inline Bytes pausedImage() {
    ImageBuilder b;
    (void)b.addDelay(20);
    (void)b.addArea(area(300));
    return b.finish();
}

inline void report(const char* who, const Usage& start, const Usage& end, int cycles, int good,
                   int canceled, int faults) {
    std::printf("%s: %d cycles (%d updated, %d canceled, %d device faults)\n", who, cycles, good,
                canceled, faults);
    std::printf(
        "  resident memory: %ld KiB after the first cycles, %ld KiB at the end (%+ld KiB)\n",
        start.residentKiB, end.residentKiB, end.residentKiB - start.residentKiB);
    std::printf("  threads:         %d after the first cycles, %d at the end\n", start.threads,
                end.threads);
}

}  // namespace halden::soak
