#pragma once

#include <string>
#include <vector>

// Builds the document bundle that persistence/DocumentBundle.h describes
// and reads. Build-time only: the plug-in itself only ever unpacks.
//
// The tree is given as files with their paths relative to the bundle's top
// level ("FactoryPresets/Bass/Sub.mvp"); folders come from the paths. Names
// within a folder are written sorted by their bytes, every time stamp is 0,
// so the same files always give the same bytes.
struct BundleFile {
    std::string path;
    std::string content;
};

// Throws std::runtime_error for a path component longer than 63 bytes or a
// file zlib cannot pack.
std::string writeDocumentBundle(const std::vector<BundleFile>& files);

// Reads every file below `root` into BundleFile entries relative to it.
std::vector<BundleFile> bundleFilesBelow(const std::string& root);
