#include "released_memory.h"

#ifdef Q_OS_UNIX
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

constexpr std::uintptr_t step = 1 << 20;

std::uintptr_t pageSize()
{
#ifdef Q_OS_UNIX
    static const auto size = std::uintptr_t(::sysconf(_SC_PAGESIZE));
    return size;
#else
    return 0;
#endif
}

} // namespace

ReleasedMemory::ReleasedMemory(const void *start, qint64 size)
{
    const std::uintptr_t page = pageSize();
    if (!page || !start || size <= 0)
        return;
    const auto first = std::uintptr_t(start);
    m_released = (first + page - 1) / page * page; // the first whole page
    m_end = first + std::uintptr_t(size);
}

void ReleasedMemory::readUpTo(const void *end)
{
#ifdef Q_OS_UNIX
    if (!m_end)
        return;
    const auto read = qMin(std::uintptr_t(end), m_end);
    const std::uintptr_t page = pageSize();
    const std::uintptr_t whole = read / page * page;
    if (whole <= m_released || (whole - m_released < step && read < m_end))
        return;
    ::madvise(reinterpret_cast<void *>(m_released), whole - m_released, MADV_DONTNEED);
    m_released = whole;
#else
    Q_UNUSED(end);
#endif
}
