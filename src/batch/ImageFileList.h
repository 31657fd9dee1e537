#pragma once

#include <string>
#include <vector>

#include "imageio/ImageFile.h"

namespace quarvel {

/// The file-name patterns of the batch, in the order their files are processed.
inline constexpr const char* kBatchPatterns[] = {"*.jpg", "*.tif", "*.tiff", "*.png", "*.bmp"};

/// Lists the image files of one folder for a batch run into fileList (emptied first).
///
/// For each pattern of kBatchPatterns in turn, the entries of the folder that are not folders
/// and whose names end with the pattern's extension (letter case ignored, the whole extension:
/// "a.tiff" matches "*.tiff" but not "*.tif", ".jpg" matches "*.jpg") are appended in name order,
/// each as folder followed by the name. folder should end with '/'; it is used as given.
/// Subfolders are not visited. When the folder cannot be read, the list stays empty and the
/// result says why.
IoResult ListImageFiles(const std::string& folder, std::vector<std::string>& fileList);

}  // namespace quarvel
