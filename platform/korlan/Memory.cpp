// Host memory: the plain, checked and local allocators the module calls, the
// record of every block handed out, and the leak and fault reports.
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "korlan/HostInternal.h"

namespace korlan {
namespace {

struct Block {
    size_t size;
    int32_t kind;
    int32_t line;
    std::string source;
    KProcHandle proc; // local blocks: the operation they belong to
    uint64_t serial;  // allocation order
};

struct Fault {
    const void* block;
    bool doubleFree;
    int32_t line;
    std::string source;
};

// How many freed addresses are remembered to tell a double free from a free
// of a pointer the host never handed out.
constexpr size_t kFreedHistory = 4096;

// Every piece of state below is guarded by `lock`.
struct Registry {
    std::mutex lock;
    std::unordered_map<void*, Block> blocks;
    uint64_t nextSerial = 1;
    std::vector<Fault> faults;
    std::unordered_map<const void*, uint64_t> freed; // address -> free serial
    std::deque<std::pair<const void*, uint64_t>> freedOrder;
    uint64_t freeSerial = 0;
};

Registry& registry() {
    static Registry* r = new Registry(); // never destroyed: used until exit
    return *r;
}

// Texts from callers may be unterminated or huge: copy a bounded prefix.
std::string boundedText(const char* text, size_t limit) {
    if (text == nullptr)
        return std::string();
    return std::string(text, strnlen(text, limit));
}

void copyName(char* dst, const std::string& src) {
    size_t n = std::min(src.size(), static_cast<size_t>(K_SOURCE_NAME_MAX - 1));
    memcpy(dst, src.data(), n);
    dst[n] = '\0';
}

void rememberFreed(Registry& r, const void* p) {
    uint64_t serial = ++r.freeSerial;
    r.freed[p] = serial;
    r.freedOrder.emplace_back(p, serial);
    if (r.freedOrder.size() > kFreedHistory) {
        auto oldest = r.freedOrder.front();
        r.freedOrder.pop_front();
        auto it = r.freed.find(oldest.first);
        if (it != r.freed.end() && it->second == oldest.second)
            r.freed.erase(it);
    }
}

KErr freeBlock(void* block, const char* source, int32_t line) {
    if (block == nullptr)
        return K_ERR_NULL_POINTER;
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.blocks.find(block);
    if (it == r.blocks.end()) {
        if (r.faults.size() < K_MAX_MEM_FAULTS) {
            r.faults.push_back(Fault{block, r.freed.count(block) != 0, source ? line : 0,
                                     boundedText(source, K_SOURCE_NAME_MAX - 1)});
        }
        return K_ERR_UNKNOWN_POINTER;
    }
    r.blocks.erase(it);
    rememberFreed(r, block);
    free(block);
    return K_OK;
}

std::vector<std::pair<void*, Block>> blocksInOrder(Registry& r) {
    std::vector<std::pair<void*, Block>> list(r.blocks.begin(), r.blocks.end());
    std::sort(list.begin(), list.end(),
              [](const auto& a, const auto& b) { return a.second.serial < b.second.serial; });
    return list;
}

} // namespace

KErr allocBlock(size_t size, int32_t kind, const char* source, int32_t line, KProcHandle proc,
                void** out) {
    if (out == nullptr)
        return K_ERR_NULL_POINTER;
    *out = nullptr;
    if (size == 0 || size > static_cast<size_t>(K_MAX_BLOCK_SIZE))
        return K_ERR_BAD_SIZE;
    void* p = calloc(1, size);
    if (p == nullptr)
        return K_ERR_OUT_OF_MEMORY;
    Registry& r = registry();
    {
        std::lock_guard<std::mutex> guard(r.lock);
        try {
            r.blocks.emplace(p, Block{size, kind, source ? line : 0,
                                      boundedText(source, K_SOURCE_NAME_MAX - 1),
                                      kind == K_BLOCK_LOCAL ? proc : nullptr, r.nextSerial++});
        } catch (...) {
            free(p);
            return K_ERR_OUT_OF_MEMORY;
        }
        // The address is live again: a later free of it is no double free.
        r.freed.erase(p);
    }
    *out = p;
    return K_OK;
}

} // namespace korlan

using namespace korlan;

extern "C" {

int32_t KDoLowError = 0;
uint8_t KTraceMemory = 0;

KErr KXAlloc(KProcHandle proc, size_t size, void** out) {
    return allocBlock(size, K_BLOCK_PLAIN, nullptr, 0, proc, out);
}

KErr KXAllocMemCheck(KProcHandle proc, size_t size, const char* source, int32_t line,
                     int32_t /*kind: the caller's tag, not needed here*/, void** out) {
    if (source == nullptr) {
        if (out != nullptr)
            *out = nullptr;
        return K_ERR_NULL_POINTER;
    }
    return allocBlock(size, K_BLOCK_CHECKED, source, line, proc, out);
}

KErr KXFree(KProcHandle /*proc*/, void* block) {
    return freeBlock(block, nullptr, 0);
}

KErr KXFreeMemCheck(KProcHandle /*proc*/, void* block, const char* source, int32_t line) {
    if (source == nullptr)
        return K_ERR_NULL_POINTER;
    return freeBlock(block, source, line);
}

KErr KXAllocLocal(KProcHandle proc, size_t size, const char* source, int32_t line, void** out) {
    if (source == nullptr) {
        if (out != nullptr)
            *out = nullptr;
        return K_ERR_NULL_POINTER;
    }
    return allocBlock(size, K_BLOCK_LOCAL, source, line, proc, out);
}

KErr KFreeLocalMemory(KProcHandle proc) {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    for (auto it = r.blocks.begin(); it != r.blocks.end();) {
        if (it->second.kind == K_BLOCK_LOCAL && it->second.proc == proc) {
            void* p = it->first;
            it = r.blocks.erase(it);
            rememberFreed(r, p);
            free(p);
        } else {
            ++it;
        }
    }
    return K_OK;
}

KErr KMemCheckBlockCount(int32_t* count) {
    if (count == nullptr)
        return K_ERR_NULL_POINTER;
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    *count = static_cast<int32_t>(std::min<size_t>(r.blocks.size(), INT32_MAX));
    return K_OK;
}

KErr KMemCheckGetBlock(int32_t index, KMemBlockInfo* info) {
    if (info == nullptr)
        return K_ERR_NULL_POINTER;
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    if (index < 0 || static_cast<size_t>(index) >= r.blocks.size())
        return K_ERR_BAD_SIZE;
    auto list = blocksInOrder(r);
    const auto& entry = list[static_cast<size_t>(index)];
    info->block = entry.first;
    info->size = entry.second.size;
    info->kind = entry.second.kind;
    info->line = entry.second.line;
    copyName(info->source, entry.second.source);
    return K_OK;
}

KErr KMemCheckFaultCount(int32_t* count) {
    if (count == nullptr)
        return K_ERR_NULL_POINTER;
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    *count = static_cast<int32_t>(r.faults.size());
    return K_OK;
}

KErr KMemCheckGetFault(int32_t index, KMemFaultInfo* info) {
    if (info == nullptr)
        return K_ERR_NULL_POINTER;
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    if (index < 0 || static_cast<size_t>(index) >= r.faults.size())
        return K_ERR_BAD_SIZE;
    const Fault& f = r.faults[static_cast<size_t>(index)];
    info->block = f.block;
    info->doubleFree = f.doubleFree ? 1 : 0;
    info->line = f.line;
    copyName(info->source, f.source);
    return K_OK;
}

KErr KMemCheckClearFaults(void) {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    r.faults.clear();
    return K_OK;
}

KErr KMemCheckReport(char* text, size_t capacity) {
    if (text == nullptr)
        return K_ERR_NULL_POINTER;
    if (capacity == 0)
        return K_ERR_BAD_SIZE;
    std::string report;
    {
        Registry& r = registry();
        std::lock_guard<std::mutex> guard(r.lock);
        char line[K_SOURCE_NAME_MAX + 96];
        for (const auto& entry : blocksInOrder(r)) {
            const Block& b = entry.second;
            if (b.kind == K_BLOCK_PLAIN)
                snprintf(line, sizeof line, "leak: %zu bytes (unchecked)\n", b.size);
            else
                snprintf(line, sizeof line, "leak: %zu bytes from %s:%" PRId32 "\n", b.size,
                         b.source.c_str(), b.line);
            report += line;
        }
        for (const Fault& f : r.faults) {
            const char* what = f.doubleFree ? "double free" : "free of unknown block";
            if (f.source.empty())
                snprintf(line, sizeof line, "%s: %p\n", what, f.block);
            else
                snprintf(line, sizeof line, "%s: %p at %s:%" PRId32 "\n", what, f.block,
                         f.source.c_str(), f.line);
            report += line;
        }
    }
    size_t n = std::min(report.size(), capacity - 1);
    memcpy(text, report.data(), n);
    text[n] = '\0';
    return n == report.size() ? K_OK : K_ERR_BAD_SIZE;
}

} // extern "C"
