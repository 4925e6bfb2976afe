#include "output_paths.h"

#include "rle_coding.h"

QString outputBaseName(const QString &sourceFileName)
{
    if (!sourceFileName.contains(QLatin1Char('.')))
        return sourceFileName;
    return sourceFileName.section(QLatin1Char('.'), 0, -2);
}

QString framePreviewPath(const OutputPaths &paths, int frame)
{
    return paths.preview.chopped(4) + QStringLiteral("_frame%1.png").arg(frame);
}

OutputPaths outputPaths(const QString &destinationFolder, const QString &sourceFileName)
{
    const QString stem = destinationFolder + QLatin1Char('/') + outputBaseName(sourceFileName);
    return {stem + QStringLiteral("16bits.BMP"), stem + QStringLiteral(".h"),
            stem + QStringLiteral("16bits.png"), stem + QStringLiteral(".c"),
            destinationFolder + QLatin1Char('/') + QLatin1String(QuillonRle::readerFileName)};
}
