#pragma once

#include "picture_job.h"

#include <QVector>

#include <optional>

// The pictures of --bundle: each decoded and encoded, its header handed over in its outcome and
// nothing written for it; once every one is, their one header, NAME.h (and NAME.c when split),
// with the tables that walk them (bundle_table.h).

// A picture of a bundle converted: why it is not, or nothing once its outcome, with its header,
// is told to the observer.
std::optional<PictureOutcome> convertBundled(const PictureJob &job, const ConversionObserver &observer);

// Writes the header of a bundle, `name`.h (with `name`.c when split), of the pictures' headers in
// order, into the folder of `job`, which gives its settings, under the lock and the journal of
// every header: its outcome, also told to the observer.
PictureOutcome writeBundle(const PictureJob &job, const ConversionObserver &observer, const QByteArray &name,
                           const QVector<CHeader> &pictures);
