#include "rle_arrays.h"

#include "rle_coding.h"

const char codedRowLoop[] = "for (int r = 0; r < NAME_height; r++) {";
const char codedBandLoop[]
    = "for (int r = 0; r < NAME_height; r += 8) { int n = NAME_height - r < 8 ? NAME_height - r : 8;";

bool codesByRunLength(const DisplayFormat &format, const ArrayLayout &layout)
{
    return layout.compression == ArrayLayout::Rle && !(format.settings & DisplayFormat::LvglSettings);
}

CArray runLengthArray(const QByteArray &name, const QByteArray &bytes, int unit, CHeader &header)
{
    header.macros << qMakePair(name + "_size", QByteArray::number(bytes.size()));
    if (!includesRunLengthReader(header))
        header.includes << runLengthReaderInclude();
    CArray array;
    array.name = name + "_rle";
    array.data = QuillonRle::compress(bytes, unit);
    array.size = QByteArray::number(array.data.size());
    array.uncodedBytes = bytes.size();
    return array;
}

CodedBuffer codedRow(const QByteArray &buffer)
{
    return {"NAME", "uint8_t " + buffer + "[NAME_stride]", buffer, "sizeof " + buffer};
}

QByteArray codedReads(const QVector<CodedBuffer> &buffers, const QByteArray &loop, const QByteArray &use,
                      const QByteArray &after)
{
    // One reader a buffer: `rle` when alone, else named after its buffer.
    const auto reader = [&](const CodedBuffer &buffer) {
        return buffers.size() == 1 ? QByteArray("rle") : buffer.buffer + "_rle";
    };
    QByteArray readers, declarations, starts, reads;
    for (const CodedBuffer &buffer : buffers) {
        readers += (readers.isEmpty() ? "quillon_rle_t " : ", ") + reader(buffer);
        declarations += buffer.declaration + "; ";
        starts += "quillon_rle_init(&" + reader(buffer) + ", " + buffer.array + "_rle); ";
        // The reader fills bytes: a buffer of 16-bit values is handed over as such.
        const QByteArray into = buffer.declaration.contains("uint8_t") || buffer.declaration.contains("UBYTE")
            ? buffer.buffer
            : "(uint8_t *)" + buffer.buffer;
        reads += "quillon_rle_read(&" + reader(buffer) + ", " + into + ", " + buffer.piece + "); ";
    }
    const QByteArray body = reads + use;
    return "{ " + declarations + readers + "; " + starts + (loop.isEmpty() ? body : loop + ' ' + body + " }")
        + (after.isEmpty() ? "" : ' ' + after) + " }";
}

QByteArray codedRowsOf(QByteArray line, const ArrayLayout &layout)
{
    line.replace("{P}", "");
    const bool bands = line.contains("{bands}");
    const int at = line.indexOf(bands ? "{bands}" : "{rows}");
    if (at < 0)
        return line;
    // Padded rows go one at a time, as they do uncoded: a library's block of rows has none.
    const bool inBands = bands && layout.strideAlign == 1;
    const QByteArray head = line.left(at);
    QByteArray call = line.mid(at + (bands ? 7 : 6));
    const bool sixteen = call.contains("{NAME16}");
    const QByteArray buffer = inBands ? "band" : "row";
    const QByteArray rows = inBands ? " * " + QByteArray::number(codedBandRows) : QByteArray();
    // A band of rows is kept out of the stack: the libraries that take one run on chips of more
    // memory than stack.
    const QByteArray storage = inBands ? "static " : "";
    QVector<CodedBuffer> buffers {{"NAME",
                                   storage + (sixteen ? "uint16_t " : "uint8_t ") + buffer + '['
                                       + (sixteen ? "NAME_stride / 2" : "NAME_stride") + rows + ']',
                                   buffer, inBands ? "n * NAME_stride" : "sizeof " + buffer}};
    if (call.contains("{NAME_mask}"))
        buffers << CodedBuffer {"NAME_mask", storage + "uint8_t mask[NAME_mask_stride" + rows + ']', "mask",
                                inBands ? "n * NAME_mask_stride" : "sizeof mask"};
    call.replace("{y}", "y + r")
        .replace("{h}", inBands ? "n" : "1")
        .replace("{NAME16}", buffer)
        .replace("{NAME_mask}", "mask")
        .replace("{NAME}", buffer);
    return head + codedReads(buffers, inBands ? codedBandLoop : codedRowLoop, call);
}
