#pragma once

#include <QImage>

#include <new>

// An allocation that fails throws std::bad_alloc, as Qt's containers and the standard library's
// do, through every step of the shaping and the encoding: a front end catches it once and tells
// that memory was short, rather than write what a null picture gives (empty arrays). A QImage that
// cannot be had is null instead: these throw for it.
inline void checkAllocated(const QImage &picture)
{
    if (picture.isNull())
        throw std::bad_alloc();
}

inline QImage allocated(QImage picture)
{
    checkAllocated(picture);
    return picture;
}
