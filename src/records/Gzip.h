#pragma once

#include <QByteArray>
#include <optional>

// gzip streams, on zlib: large frame tables are written gzipped.
namespace Gzip {

// The bytes as a gzip stream; empty when zlib fails.
QByteArray compress(const QByteArray& bytes);
// The bytes of a gzip or zlib stream; nothing when it is broken or cut short.
std::optional<QByteArray> decompress(const QByteArray& bytes);

}  // namespace Gzip
