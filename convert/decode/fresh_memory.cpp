#include "fresh_memory.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QtGlobal>

#include <cstdlib>

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
#include <malloc.h>
#define QUILLON_HAS_M_PERTURB 1
#endif

#ifdef QUILLON_HAS_M_PERTURB
namespace {

// A setting of glibc's malloc, from GLIBC_TUNABLES (glibc.malloc.NAME=VALUE), or `otherwise`.
int tunable(const char *name, int otherwise)
{
    const QRegularExpressionMatch match
        = QRegularExpression(QStringLiteral("glibc\\.malloc\\.%1=(\\d+)").arg(QLatin1String(name)))
              .match(qEnvironmentVariable("GLIBC_TUNABLES"));
    return match.hasMatch() ? match.captured(1).toInt() : otherwise;
}

// The fill the process was started with: MALLOC_PERTURB_, or glibc.malloc.perturb in
// GLIBC_TUNABLES, which wins.
int startingFill()
{
    static const int fill = tunable("perturb", qEnvironmentVariableIntValue("MALLOC_PERTURB_") & 0xff) & 0xff;
    return fill;
}

// glibc keeps up to 7 freed blocks of each size up to 1032 bytes for the thread that freed
// them, and hands them out again without filling them; GLIBC_TUNABLES may change both.
constexpr int cachedSizeStep = 16;
int cachedBlocksPerSize()
{
    static const int count = qBound(0, tunable("tcache_count", 7), 1024);
    return count;
}
int largestCachedSize()
{
    static const int size = qBound(0, tunable("tcache_max", 1032), 4096);
    return size;
}

} // namespace
#endif

namespace {

std::mutex &fillLock()
{
    static std::mutex mutex;
    return mutex;
}

} // namespace

FreshMemoryFill::FreshMemoryFill([[maybe_unused]] int byte)
    : m_lock(fillLock())
{
#ifdef QUILLON_HAS_M_PERTURB
    mallopt(M_PERTURB, byte);
    // Taken out of this thread's cache, they leave it empty: every block the decoding takes then
    // comes from glibc's bins, filled.
    m_cachedBlocks.reserve(size_t(largestCachedSize() / cachedSizeStep + 1) * size_t(cachedBlocksPerSize()));
    for (int size = cachedSizeStep; size <= largestCachedSize(); size += cachedSizeStep) {
        for (int i = 0; i < cachedBlocksPerSize(); ++i)
            m_cachedBlocks.push_back(std::malloc(size_t(size)));
    }
#endif
}

FreshMemoryFill::~FreshMemoryFill()
{
    for (void *block : m_cachedBlocks)
        std::free(block);
#ifdef QUILLON_HAS_M_PERTURB
    mallopt(M_PERTURB, startingFill());
#endif
}

bool FreshMemoryFill::available()
{
#ifdef QUILLON_HAS_M_PERTURB
    return true;
#else
    return false;
#endif
}
