#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// One preset file found by a scan.
struct PresetItem {
    std::string path;  // the full file path
    std::string name;  // the file name without folder and extension
    std::string label; // "(bank/program) name", once numbered
    int bank = -1;
    int program = -1;
};

// The order of preset and folder names: each byte lowered from A-Z to a-z
// and compared as a signed byte; a name that is a prefix of the other sorts
// first. So "A", "a2", "b"; and names with bytes from 0x80 up (accented
// letters in UTF-8) sort before plain ASCII ones. Scans order names that
// are equal by this rule by their bytes.
bool presetNameLess(std::string_view a, std::string_view b);

// A folder of presets and the folders below it, as one scan found them. The
// display name is the folder's last path component; a leading "_" pins the
// folder (it sorts before unpinned ones) and is not shown. Child folders and
// presets are sorted, pinned folders first, by presetNameLess.
class PresetFolder {
public:
    // Milliseconds from any fixed start; the scan budget is measured with it.
    using Clock = std::function<std::int64_t()>;
    static std::int64_t steadyMilliseconds();

    PresetFolder() = default;
    virtual ~PresetFolder();
    PresetFolder(const PresetFolder&) = delete;
    PresetFolder& operator=(const PresetFolder&) = delete;

    // Forgets the previous content and reads the folder at `path` (a "/" is
    // appended when missing): the files whose names end in `extension` (with
    // its dot, any letter case) become presets; subfolders are scanned the
    // same way while the budget lasts. Each subfolder gets the budget minus
    // the milliseconds this scan has spent so far; with none left, no more
    // subfolders are entered, but the presets directly in every entered
    // folder are always listed. A folder that does not exist or cannot be
    // read scans as empty.
    void scan(const std::string& path, const std::string& extension, std::int64_t budgetMs,
              const Clock& clock = steadyMilliseconds);

    const std::string& getPath() const { return folderPath; }
    const std::string& getExtension() const { return folderExtension; }
    const std::string& getDisplayName() const { return displayName; }
    bool isPinned() const { return pinned; }
    const std::vector<std::unique_ptr<PresetFolder>>& getChildren() const { return children; }
    const std::vector<std::unique_ptr<PresetItem>>& getPresets() const { return presets; }
    // Neither subfolders nor presets (its menu shows "(No Presets)").
    bool isEmpty() const { return children.empty() && presets.empty(); }

    // Appends the presets of this tree in post-order: each child's, in
    // sorted order, then this folder's own.
    void flatten(std::vector<PresetItem*>& flat) const;

protected:
    void setDisplayName(std::string name) { displayName = std::move(name); }

private:
    std::string folderPath;
    std::string folderExtension;
    std::string displayName;
    bool pinned = false;
    std::vector<std::unique_ptr<PresetFolder>> children;
    std::vector<std::unique_ptr<PresetItem>> presets;
};
