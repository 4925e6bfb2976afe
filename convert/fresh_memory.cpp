#include "fresh_memory.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QtGlobal>

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
#include <malloc.h>
#define QUILLON_HAS_M_PERTURB 1
#endif

namespace {

// The fill the process was started with: MALLOC_PERTURB_, or glibc.malloc.perturb in
// GLIBC_TUNABLES, which wins.
int startingFill()
{
    static const int fill = [] {
        int byte = qEnvironmentVariableIntValue("MALLOC_PERTURB_") & 0xff;
        const QRegularExpressionMatch tunable
            = QRegularExpression(QStringLiteral("glibc\\.malloc\\.perturb=(\\d+)"))
                  .match(qEnvironmentVariable("GLIBC_TUNABLES"));
        if (tunable.hasMatch())
            byte = tunable.captured(1).toInt() & 0xff;
        return byte;
    }();
    return fill;
}

} // namespace

FreshMemoryFill::FreshMemoryFill([[maybe_unused]] int byte)
{
#ifdef QUILLON_HAS_M_PERTURB
    mallopt(M_PERTURB, byte);
#endif
}

FreshMemoryFill::~FreshMemoryFill()
{
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

std::mutex &FreshMemoryFill::lock()
{
    static std::mutex mutex;
    return mutex;
}

int FreshMemoryFill::otherByte()
{
    return startingFill() == 0x55 ? 0xaa : 0x55;
}
