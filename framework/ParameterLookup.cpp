#include "framework/ParameterLookup.h"

#include "framework/AbstractPluginParameter.h"
#include "framework/GenericPlugin.h"

#include <algorithm>
#include <cctype>
#include <numeric>

namespace {

char lower(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

} // namespace

int nameDistance(std::string_view a, std::string_view b)
{
    // One row of the classic table at a time.
    std::vector<int> row(b.size() + 1);
    std::iota(row.begin(), row.end(), 0);
    for (std::size_t i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = static_cast<int>(i);
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const int above = row[j];
            const int substitution = diagonal + (lower(a[i - 1]) == lower(b[j - 1]) ? 0 : 1);
            row[j] = std::min({above + 1, row[j - 1] + 1, substitution});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::vector<std::string> closestParameterNames(const GenericPlugin& plugin, std::string_view name, int count)
{
    struct Candidate {
        int distance;
        int index;
    };
    std::vector<Candidate> candidates;
    for (int i = 0; i < plugin.getParameterCount(); ++i) {
        const std::string& candidate = plugin.getParameter(i)->getName();
        const int distance = nameDistance(name, candidate);
        const auto longer = static_cast<int>(std::max(name.size(), candidate.size()));
        if (distance * 2 <= longer)
            candidates.push_back({distance, i});
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& a, const Candidate& b) { return a.distance < b.distance; });
    std::vector<std::string> names;
    for (const Candidate& c : candidates) {
        if (static_cast<int>(names.size()) >= count)
            break;
        names.push_back(plugin.getParameter(c.index)->getName());
    }
    return names;
}
