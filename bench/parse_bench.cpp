// Script parse benchmark: generates a large script in memory, reads it with
// the script reader and with pugixml, and prints the speed and the peak heap
// of each, after checking that both built the same tree.
//
//   kx_parse_bench [megabytes=10] [repetitions=7]
//
// Heap use is counted by replacing malloc and its relatives for the whole
// process (glibc lets a program do that): operator new, the document arena's
// blocks and pugixml's pages all come through here. A block counts with its
// usable size, which is what it really occupies.

#include "common/media/stream.h"
#include "common/script/xml_tag.h"
#include "player/script_reader.h"

#include <pugixml.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <memory>
#include <string>
#include <vector>

// ---- counting allocator ----------------------------------------------------

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);
}

namespace {

std::atomic<size_t> gLive{0};
std::atomic<size_t> gPeak{0};
std::atomic<size_t> gCalls{0};

void noteAllocated(void* p)
{
    if (!p) return;
    const size_t live = gLive.fetch_add(malloc_usable_size(p), std::memory_order_relaxed) + malloc_usable_size(p);
    gCalls.fetch_add(1, std::memory_order_relaxed);
    size_t peak = gPeak.load(std::memory_order_relaxed);
    while (live > peak && !gPeak.compare_exchange_weak(peak, live, std::memory_order_relaxed)) { }
}

void noteFreed(void* p)
{
    if (p) gLive.fetch_sub(malloc_usable_size(p), std::memory_order_relaxed);
}

// Starts a measuring window: returns the bytes live now, and the peak is
// reported relative to them.
size_t startWindow()
{
    const size_t live = gLive.load();
    gPeak.store(live);
    gCalls.store(0);
    return live;
}

} // namespace

extern "C" {

void* malloc(size_t size)
{
    void* p = __libc_malloc(size);
    noteAllocated(p);
    return p;
}

void* calloc(size_t count, size_t size)
{
    void* p = __libc_calloc(count, size);
    noteAllocated(p);
    return p;
}

void* realloc(void* old, size_t size)
{
    const size_t before = old ? malloc_usable_size(old) : 0;
    void* p = __libc_realloc(old, size);
    if (p) {
        gLive.fetch_sub(before, std::memory_order_relaxed);
        noteAllocated(p);
    } else if (old && size == 0) {
        gLive.fetch_sub(before, std::memory_order_relaxed); // freed
    }
    return p;
}

void free(void* p)
{
    noteFreed(p);
    __libc_free(p);
}

void* memalign(size_t alignment, size_t size)
{
    void* p = __libc_memalign(alignment, size);
    noteAllocated(p);
    return p;
}

void* aligned_alloc(size_t alignment, size_t size) { return memalign(alignment, size); }

int posix_memalign(void** result, size_t alignment, size_t size)
{
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return 22; // EINVAL
    void* p = memalign(alignment, size);
    if (!p) return 12; // ENOMEM
    *result = p;
    return 0;
}

void* valloc(size_t size) { return memalign(4096, size); }

void* pvalloc(size_t size) { return memalign(4096, (size + 4095) & ~size_t(4095)); }

} // extern "C"

// ---- script generator ------------------------------------------------------

namespace {

// A fixed-seed generator, so every run parses the same text.
struct Random {
    uint32_t state = 0x6b657374u;
    uint32_t next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    int below(int n) { return static_cast<int>(next() % static_cast<uint32_t>(n)); }
    float unit() { return static_cast<float>(next() % 10000u) / 10000.0f; }
};

void append(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

void append(std::string& out, const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n > 0) out.append(line, static_cast<size_t>(std::min<int>(n, sizeof line - 1)));
}

const char* const kWords[] = {"greetings", "to",   "all", "who",   "came", "tonight", "kestrel",
                              "flies",     "over", "the", "party", "hall", "and",     "beyond"};
const char* const kBlends[] = {"add", "alpha", "mul", "none"};

void appendChild(std::string& out, Random& rnd)
{
    switch (rnd.below(7)) {
    case 0:
    case 1:
        append(out, "<flash%d color=\"%08x\" mode=\"%d\" speed=\"%.1f\"/>", 1 + rnd.below(4), rnd.next(), rnd.below(3),
               0.5f + 4 * rnd.unit());
        break;
    case 2: {
        append(out, "<camera name=\"cam%d\" fov=\"%.1f\">", rnd.below(20), 30 + 60 * rnd.unit());
        const int keys = 1 + rnd.below(4);
        for (int k = 0; k < keys; ++k)
            append(out, "<key time=\"%d\" pos=\"%.2f,%.2f,%.2f\" target=\"%.1f,%.1f,%.1f\"/>", k * 250,
                   100 * rnd.unit() - 50, 100 * rnd.unit() - 50, 100 * rnd.unit() - 50, rnd.unit(), rnd.unit(),
                   rnd.unit());
        out += "</camera>";
        break;
    }
    case 3:
        append(out, "<picture file=\"logo%d.tga\" blend=\"%s\" alpha=\"%.2f\" rect=\"%.2f,%.2f,%.2f,%.2f\"/>",
               rnd.below(50), kBlends[rnd.below(4)], rnd.unit(), rnd.unit(), rnd.unit(), rnd.unit(), rnd.unit());
        break;
    case 4:
        append(out, "<text3d text=\"%s %s %s\" font=\"font%d.tga\" size=\"%.2f\" color=\"%08x\"></text3d>",
               kWords[rnd.below(14)], kWords[rnd.below(14)], kWords[rnd.below(14)], rnd.below(5), 2 * rnd.unit(),
               rnd.next());
        break;
    case 5:
        append(out, "<clear color=\"%08x\" depth=\"%d\"/>", rnd.next(), rnd.below(2));
        break;
    default:
        append(out, "<music file=\"track%d.xm\" volume=\"%.2f\" loop=\"%d\"/>", rnd.below(9), rnd.unit(), rnd.below(2));
        break;
    }
}

std::string makeScript(size_t targetBytes)
{
    std::string out;
    out.reserve(targetBytes + 4096);
    Random rnd;
    out += "<demo name=\"bench\" width=\"1024\" height=\"768\" fullscreen=\"0\">\n";
    float time = 0;
    while (out.size() < targetBytes) {
        time += 0.05f + rnd.unit();
        append(out, "\t<event time=\"%.2f\" bank=\"%d\" key=\"%c\">\n", time, rnd.below(10), 'a' + rnd.below(26));
        const int children = 1 + rnd.below(4);
        for (int c = 0; c < children; ++c) {
            out += "\t\t";
            appendChild(out, rnd);
            out += '\n';
        }
        out += "\t</event>\n";
    }
    out += "</demo>\n";
    return out;
}

// ---- tree comparison -------------------------------------------------------

struct Counts {
    long elements = 0;
    long attributes = 0;
};

void countOurs(const cXmlTag* tag, Counts& counts)
{
    for (const cXmlTag* child : tag->children()) {
        ++counts.elements;
        counts.attributes += child->paramCount();
        countOurs(child, counts);
    }
}

void countPugi(const pugi::xml_node& node, Counts& counts)
{
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element) continue;
        ++counts.elements;
        for (pugi::xml_attribute a = child.first_attribute(); a; a = a.next_attribute()) ++counts.attributes;
        countPugi(child, counts);
    }
}

// Compares names, params and children in order; prints the first difference.
bool sameTree(const cXmlTag* ours, const pugi::xml_node& theirs)
{
    const cXmlTag* child = ours->firstChild;
    pugi::xml_node other = theirs.first_child();
    for (;; child = child->next, other = other.next_sibling()) {
        while (other && other.type() != pugi::node_element) other = other.next_sibling();
        if (!child || !other) break;
        if (std::strcmp(child->name, other.name()) != 0) {
            std::printf("difference: tag <%s> against <%s>\n", child->name, other.name());
            return false;
        }
        const cXmlParam* p = child->firstParam;
        pugi::xml_attribute a = other.first_attribute();
        for (; p && a; p = p->next, a = a.next_attribute()) {
            if (std::strcmp(p->name, a.name()) != 0 || std::strcmp(p->value, a.value()) != 0) {
                std::printf("difference in <%s>: %s=\"%s\" against %s=\"%s\"\n", child->name, p->name, p->value,
                            a.name(), a.value());
                return false;
            }
        }
        if (p || a) {
            std::printf("difference: <%s> has a different number of params\n", child->name);
            return false;
        }
        if (!sameTree(child, other)) return false;
    }
    if (child || other) {
        std::printf("difference: <%s> has a different number of children\n", ours->name);
        return false;
    }
    return true;
}

// ---- measuring -------------------------------------------------------------

using Clock = std::chrono::steady_clock;

struct Result {
    double bestSeconds = 1e30;
    std::vector<double> seconds; // every run
    size_t peakBytes = 0;
    size_t allocations = 0;
    double medianSeconds() const
    {
        std::vector<double> sorted = seconds;
        std::sort(sorted.begin(), sorted.end());
        return sorted.empty() ? 0.0 : sorted[sorted.size() / 2];
    }
};

void note(Result& r, Clock::time_point start, Clock::time_point stop, size_t base)
{
    r.bestSeconds = std::min(r.bestSeconds, std::chrono::duration<double>(stop - start).count());
    r.seconds.push_back(std::chrono::duration<double>(stop - start).count());
    r.peakBytes = std::max(r.peakBytes, gPeak.load() - base);
    r.allocations = std::max(r.allocations, gCalls.load());
}

void print(const char* who, const Result& r, size_t fileBytes)
{
    std::printf("%-16s best %8.2f ms  median %8.2f ms  %8.1f MB/s  peak heap %11zu bytes = %5.2f x file  (%zu "
                "allocations)\n",
                who, r.bestSeconds * 1e3, r.medianSeconds() * 1e3, static_cast<double>(fileBytes) / 1e6 / r.bestSeconds,
                r.peakBytes, static_cast<double>(r.peakBytes) / static_cast<double>(fileBytes), r.allocations);
}

} // namespace

int main(int argc, char** argv)
{
    const double megabytes = argc > 1 ? std::atof(argv[1]) : 10.0;
    const int repetitions = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    if (!(megabytes > 0 && megabytes <= 1000)) {
        std::fprintf(stderr, "usage: kx_parse_bench [megabytes (0-1000]] [repetitions]\n");
        return 2;
    }

    const std::string text = makeScript(static_cast<size_t>(megabytes * 1e6));
    const int size = static_cast<int>(text.size());
    std::printf("script: %d bytes (%.2f MB), %d repetitions each\n", size, size / 1e6, repetitions);

    Result ours, theirs;
    bool agree = true;
    for (int rep = 0; rep < repetitions; ++rep) {
        // The two readers take turns, so a busy moment of the machine does
        // not fall on one of them only.
        {
            const size_t base = startWindow();
            const Clock::time_point start = Clock::now();
            auto root = std::make_unique<cXmlTag>();
            cMemoryStream source(text.data(), size);
            const int rc = parse(root.get(), source);
            const Clock::time_point stop = Clock::now();
            note(ours, start, stop, base);
            if (rc != 0) {
                std::printf("script reader failed: %s\n", lastError());
                return 1;
            }
            if (rep == 0) {
                pugi::xml_document doc;
                const pugi::xml_parse_result r = doc.load_buffer(text.data(), text.size());
                if (!r) {
                    std::printf("pugixml failed: %s at %td\n", r.description(), r.offset);
                    return 1;
                }
                Counts a, b;
                countOurs(root.get(), a);
                countPugi(doc, b);
                agree = a.elements == b.elements && a.attributes == b.attributes && sameTree(root.get(), doc);
                std::printf("elements: ours %ld, pugixml %ld; attributes: ours %ld, pugixml %ld; trees %s\n",
                            a.elements, b.elements, a.attributes, b.attributes, agree ? "agree" : "DIFFER");
            }
        }
        {
            const size_t base = startWindow();
            const Clock::time_point start = Clock::now();
            pugi::xml_document doc;
            const pugi::xml_parse_result r = doc.load_buffer(text.data(), text.size());
            const Clock::time_point stop = Clock::now();
            note(theirs, start, stop, base);
            if (!r) return 1;
        }
    }

    print("script reader", ours, text.size());
    print("pugixml", theirs, text.size());
    const double timeRatio = ours.bestSeconds / theirs.bestSeconds;
    const double medianRatio = ours.medianSeconds() / theirs.medianSeconds();
    const double memoryRatio = static_cast<double>(ours.peakBytes) / static_cast<double>(text.size());
    std::printf("time ours/pugixml: fastest %.2f, median %.2f (goal <= 1.00: %s)\n", timeRatio, medianRatio,
                timeRatio <= 1.0 ? "met" : "MISSED");
    std::printf("peak ours/file:    %.2f (goal <= 3.00: %s)\n", memoryRatio, memoryRatio <= 3.0 ? "met" : "MISSED");
    return agree ? 0 : 1;
}
