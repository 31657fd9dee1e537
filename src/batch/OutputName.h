#pragma once

#include <string>

namespace quarvel {

/// The name a batch result is written to, beside its source: "_flt" goes before a
/// three-character extension that follows a non-empty name ("/img/photo.jpg" gives
/// "/img/photo_flt.jpg"); any other name gets "_n2" appended ("/img/photo.tiff" gives
/// "/img/photo.tiff_n2", "/img/.jpg" gives "/img/.jpg_n2"). Paths of any length are accepted.
std::string MakeOutputName(const std::string& sourcePath);

/// A derived output name made to match a forced format: a name whose extension asks for another
/// format gets the usual extension of mime instead ("/img/a_flt.jpg" for "image/png" gives
/// "/img/a_flt.png"), a name without an image extension gets it appended ("/img/a.tiff_n2"
/// gives "/img/a.tiff_n2.png"). An empty mime (the format follows the name) or a name that
/// already asks for mime, JPEG included for names without an image extension, is returned as
/// it is.
std::string MatchOutputExtension(const std::string& name, const std::string& mime);

}  // namespace quarvel
