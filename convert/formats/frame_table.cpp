#include "frame_table.h"

#include "display_header.h"
#include "lvgl_descriptor.h"
#include "palette.h"

#include <QtEndian>

#include <algorithm>

namespace {

QByteArray frameName(const QByteArray &name, int frame)
{
    return name + "_frame" + QByteArray::number(frame);
}

// The table of the frames' arrays of suffix `suffix`: NAME_frames, NAME_mask_frames... Coded
// arrays keep their tables' names: NAME_frames holds the frames' NAME_frameN_rle.
QByteArray tableName(const QByteArray &name, const QByteArray &suffix)
{
    return name + (suffix.endsWith("_rle") ? suffix.chopped(4) : suffix) + "_frames";
}

bool sharedAcrossFrames(const QByteArray &suffix)
{
    return suffix == "_palette";
}

// The frames' colours one under the other, for a palette that serves them all.
QImage stacked(const QVector<PreparedPicture> &frames)
{
    const QImage &first = frames.first().colours;
    QImage all = allocated(QImage(first.width(), first.height() * frames.size(), QImage::Format_RGB32));
    for (int i = 0; i < frames.size(); ++i) {
        const QImage colours = allocated(frames[i].colours.convertToFormat(QImage::Format_RGB32));
        for (int y = 0; y < colours.height(); ++y)
            std::copy_n(colours.constScanLine(y), colours.bytesPerLine(),
                        all.scanLine(i * first.height() + y));
    }
    return all;
}

// The arrays whose pixels are all alike in every frame, all lit or all unlit in each, named
// without the frames' numbers; each as the first frame tells it.
QVector<UniformArray> uniformInEveryFrame(const QVector<EncodedPicture> &frames, const QByteArray &name)
{
    QVector<UniformArray> every;
    for (const UniformArray &first : frames.first().uniform) {
        const QByteArray suffix = first.name.mid(frameName(name, 0).size());
        bool inEach = true;
        for (int i = 1; i < frames.size() && inEach; ++i) {
            const QVector<UniformArray> &own = frames[i].uniform;
            inEach = std::any_of(own.begin(), own.end(), [&](const UniformArray &array) {
                return array.name == frameName(name, i) + suffix && array.lit == first.lit;
            });
        }
        if (inEach)
            every << UniformArray {name + suffix, first.cause, first.lit};
    }
    return every;
}

// The names as a table's values, four to a line.
QByteArray tableValues(const QVector<QByteArray> &names)
{
    const QByteArray nl = headerNewline;
    QByteArray text;
    for (int i = 0; i < names.size(); ++i) {
        text += i == 0 ? nl + '\t' : i % 4 == 0 ? ',' + nl + '\t' : QByteArray(", ");
        text += names[i];
    }
    return text;
}

// The first frame's lines of how to draw it, made to draw frame i: its macros under the
// animation's names, each of its arrays read from its table.
QVector<QByteArray> frameDrawing(const CHeader &first, const QByteArray &name, const QByteArray &firstName,
                                 bool flash)
{
    QVector<QPair<QByteArray, QByteArray>> replacements;
    for (const auto &macro : first.macros)
        replacements << qMakePair(macro.first, name + macro.first.mid(firstName.size()));
    for (const CArray &array : first.arrays) {
        const QByteArray suffix = array.name.mid(firstName.size());
        const QByteArray entry = tableName(name, suffix) + "[i]";
        replacements << qMakePair(array.name,
                                  sharedAcrossFrames(suffix) ? name + suffix
                                      : flash ? "((const " + QByteArray(valueTypeName(array.type))
                                          + " *)pgm_read_ptr(&" + entry + "))"
                                              : entry);
    }
    // The longest names first: NAME_frame0_mask before NAME_frame0.
    std::sort(replacements.begin(), replacements.end(),
              [](const auto &a, const auto &b) { return a.first.size() > b.first.size(); });
    QVector<QByteArray> lines;
    for (QByteArray line : first.commentLines) {
        for (const auto &replacement : replacements)
            line.replace(replacement.first, replacement.second);
        // A coded frame is found through a pointer of its table, which the reader takes so.
        lines << line.replace("quillon_rle_init(", "quillon_rle_init_near(");
    }
    return lines;
}

// The animation's header up to its comment: the first frame's preamble, includes and macros
// under the animation's names, and NAME_frame_count.
CHeader animationTop(const CHeader &first, const QByteArray &name, int count)
{
    const QByteArray firstName = frameName(name, 0);
    CHeader header;
    header.name = name;
    header.preamble = first.preamble;
    header.includes = first.includes;
    header.progmem = first.progmem;
    for (const auto &macro : first.macros)
        header.macros << qMakePair(name + macro.first.mid(firstName.size()), macro.second);
    header.macros << qMakePair(name + "_frame_count", QByteArray::number(count));
    return header;
}

// How to draw the animation, its frames and delays: LVGL's lines for `lvglVersion` (0: not LVGL),
// else the first frame's made to draw frame i.
QVector<QByteArray> animationComment(const CHeader &first, const QByteArray &name,
                                     const QVector<int> &delaysMs, int lvglVersion)
{
    qint64 totalMs = 0;
    for (int delay : delaysMs)
        totalMs += delay;
    QVector<QByteArray> lines = lvglVersion ? lvglAnimationLines(lvglVersion, name, totalMs)
                                            : frameDrawing(first, name, frameName(name, 0), first.progmem);
    lines << "Animation: " + name + "_frame_count frames, frame i (0 to " + name + "_frame_count - 1) in "
            + name + "_frames[i], shown " + name + "_delays_ms[i] ms.";
    if (first.progmem && !lvglVersion)
        lines << "On AVR, the tables are in program memory: pgm_read_ptr(&" + name
                + "_frames[i]), pgm_read_word(&" + name + "_delays_ms[i]).";
    return lines;
}

// The tables of the frames' arrays, one a kind of the first frame's that the program reads
// (NAME_frames, NAME_mask_frames...); the arrays the frames share added to `header` once, under
// the animation's name.
QVector<CArray> pointerTables(const QVector<CHeader> &headers, const QByteArray &name, CHeader *header)
{
    const QByteArray firstName = frameName(name, 0);
    QVector<CArray> tables;
    for (const CArray &array : headers.first().arrays) {
        const QByteArray suffix = array.name.mid(firstName.size());
        if (sharedAcrossFrames(suffix)) {
            CArray shared = array;
            shared.name = name + suffix;
            header->arrays << shared;
        } else if (!array.internal) {
            CArray table;
            table.name = tableName(name, suffix);
            table.size = QByteArray::number(headers.size());
            table.declaration = "const " + QByteArray(valueTypeName(array.type)) + " *const";
            QVector<QByteArray> names;
            for (int i = 0; i < headers.size(); ++i)
                names << frameName(name, i) + suffix;
            table.valuesText = tableValues(names);
            tables << table;
        }
    }
    return tables;
}

// Each frame's own arrays, and the texts around them, after one another.
void addFramesOwn(const QVector<CHeader> &headers, const QByteArray &name, CHeader *header)
{
    for (int i = 0; i < headers.size(); ++i) {
        const QByteArray prefix = frameName(name, i);
        for (const CArray &array : headers[i].arrays) {
            if (!sharedAcrossFrames(array.name.mid(prefix.size())))
                header->arrays << array;
        }
        header->definitionPreamble += headers[i].definitionPreamble;
        header->trailer += headers[i].trailer;
        header->singleTrailer += headers[i].singleTrailer;
        header->trailerDeclaration += headers[i].trailerDeclaration;
    }
}

// NAME_delays_ms, of `count` values: each frame's delay in milliseconds, up to 65535.
CArray delaysArray(const QByteArray &name, int count, const QVector<int> &delaysMs)
{
    CArray delays;
    delays.type = CArray::Uint16;
    delays.name = name + "_delays_ms";
    delays.size = QByteArray::number(count);
    for (int delay : delaysMs) {
        char bytes[2];
        qToLittleEndian(quint16(qBound(0, delay, 65535)), bytes);
        delays.data.append(bytes, 2);
    }
    return delays;
}

int chosenPaletteSize(const DisplayFormat &format, const EncodingOptions &options)
{
    if (!options.pixels.palette.isEmpty())
        return 0;
    return qstrcmp(format.name, "index4") == 0 ? 16 : qstrcmp(format.name, "index8") == 0 ? 256 : 0;
}

} // namespace

bool framesShareAChosenPalette(const DisplayFormat &format, const EncodingOptions &options)
{
    return chosenPaletteSize(format, options) > 0;
}

EncodingOptions frameOptions(const DisplayFormat &format, const QVector<PreparedPicture> &frames,
                             const EncodingOptions &options)
{
    EncodingOptions common = options;
    if (const int paletteSize = chosenPaletteSize(format, options)) {
        common.pixels.palette = choosePalette(stacked(frames), paletteSize);
        common.pixels.paletteOfFrames = true;
    }
    return common;
}

EncodedPicture encodeFrame(const DisplayFormat &format, PreparedPicture frame, const EncodingOptions &common,
                           int index, bool eachShown)
{
    EncodingOptions options = common;
    options.header.arrayName = frameName(common.header.arrayName, index);
    if (index > 0 && !eachShown) // the first frame stands for the animation in the BMP file
        options.shown = EncodingOptions::NotShown;
    return format.encode(std::move(frame), options);
}

EncodedPicture encodeFrames(const DisplayFormat &format, const QVector<PreparedPicture> &frames,
                            const QVector<int> &delaysMs, const EncodingOptions &options)
{
    const EncodingOptions common = frameOptions(format, frames, options);
    QVector<EncodedPicture> encoded;
    for (int i = 0; i < frames.size(); ++i)
        encoded << encodeFrame(format, frames[i], common, i);
    return assembleFrames(format, std::move(encoded), delaysMs, options);
}

EncodedPicture assembleFrames(const DisplayFormat &format, QVector<EncodedPicture> frames,
                              const QVector<int> &delaysMs, const EncodingOptions &options)
{
    const QByteArray &name = options.header.arrayName;
    const bool lvgl = qstrcmp(format.name, "lvgl") == 0;
    EncodedPicture result;
    result.uniform = uniformInEveryFrame(frames, name);
    result.shown = std::move(frames.first().shown);
    result.drawnShown = std::move(frames.first().drawnShown);
    // Frames share their size and colour format: LVGL loads each frame's file with the first's header.
    result.imageFileHeader = frames.first().imageFileHeader;
    QVector<CHeader> headers;
    for (EncodedPicture &frame : frames)
        headers << std::move(frame.header);
    frames.clear();

    CHeader &header = result.header;
    header = animationTop(headers.first(), name, headers.size());
    header.commentLines = animationComment(headers.first(), name, delaysMs, lvgl ? options.lvgl.version : 0);
    // Shared arrays first, then each frame's, then the tables.
    const QVector<CArray> tables = pointerTables(headers, name, &header);
    addFramesOwn(headers, name, &header);
    header.arrays << delaysArray(name, headers.size(), delaysMs) << tables;
    if (lvgl) { // after the descriptors it points at
        QVector<QByteArray> addresses;
        for (int i = 0; i < headers.size(); ++i)
            addresses << '&' + frameName(name, i);
        addLvglFrameTable(options.lvgl.version, name, headers.size(), tableValues(addresses), &header);
    }
    return result;
}
