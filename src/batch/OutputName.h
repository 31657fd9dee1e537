#pragma once

#include <string>

namespace quarvel {

/// The name a batch result is written to, beside its source: "_flt" goes before a
/// three-character extension that follows a non-empty name ("/img/photo.jpg" gives
/// "/img/photo_flt.jpg"); any other name gets "_n2" appended ("/img/photo.tiff" gives
/// "/img/photo.tiff_n2", "/img/.jpg" gives "/img/.jpg_n2"). Paths of any length are accepted.
std::string MakeOutputName(const std::string& sourcePath);

}  // namespace quarvel
