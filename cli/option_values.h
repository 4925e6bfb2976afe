#pragma once

#include <QString>
#include <QStringList>

struct Options;

// How the options that take more than a switch or a number read their values into Options, one
// reader a row of the option table (option_table.cpp). Each reads the last value given (trimmed,
// but for the names of files and arrays), --flip each of them, and tells what is wrong in French
// (translated in the context "Options", LVGL's own in "DisplayFormat"). --format is read first
// (parseOptions()): the readers of --compress and --palette read the format chosen.

QString readOutput(const QStringList &values, Options &options);
QString readName(const QStringList &values, Options &options);
QString readBundle(const QStringList &values, Options &options);
QString readFormat(const QStringList &values, Options &options);
QString readColourOrder(const QStringList &values, Options &options);
QString readAlpha(const QStringList &values, Options &options);
QString readTransparent(const QStringList &values, Options &options);
QString readLvglColourFormat(const QStringList &values, Options &options);
QString readLvglVersion(const QStringList &values, Options &options);
QString readCompress(const QStringList &values, Options &options);
QString readPalette(const QStringList &values, Options &options);
QString readCrop(const QStringList &values, Options &options);
QString readRotate(const QStringList &values, Options &options);
QString readFlip(const QStringList &values, Options &options);
QString readFit(const QStringList &values, Options &options);
QString readFitMode(const QStringList &values, Options &options);
QString readCanvas(const QStringList &values, Options &options);
QString readGravity(const QStringList &values, Options &options);
QString readDither(const QStringList &values, Options &options);
QString readDitherMethod(const QStringList &values, Options &options);
QString readBackground(const QStringList &values, Options &options);
QString readFrames(const QStringList &values, Options &options);
QString readSize(const QStringList &values, Options &options);

// "a, b ou c", translated.
QString joinedWithOr(const QStringList &words);
// "a, b et c", translated.
QString joinedWithAnd(const QStringList &words);
