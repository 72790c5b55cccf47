#pragma once
// The split tab's parts, without the window: the parts a plan gives, split points added
// while listening, times and names typed into the rows, and which parts are ticked.
// Parts lie in time order and never overlap; neighbours that meet keep meeting when a
// typed time moves the seam between them, so no sample is lost or doubled there.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/split/PartNaming.h"
#include "engine/split/SplitPlan.h"

namespace tolvane {

struct SplitRow {
    split::SplitPart part;
    bool checked = true;
    bool nameTyped = false;  // the user's own name, kept when the parts are renumbered
};

// Why a typed time was not taken.
enum class PartTimeProblem {
    None,
    OutsideFile,  // before the file's start or past its end
    EmptyPart,    // the start does not lie before the end
    Overlap,      // the part would reach into its neighbour
};

class SplitPartsModel {
  public:
    // The source the parts are of (its name without extension, its extension with the
    // dot, its length); every part is forgotten.
    void SetSource(std::string baseName, std::string extension, std::int64_t lengthUs);
    std::int64_t lengthUs() const { return lengthUs_; }

    // The plan's parts replace the list, all ticked and named in `style`. A failed plan
    // changes nothing and is returned as it came.
    split::PlanFailure Take(split::SplitPlan plan, split::PartNameStyle style);

    // Splits the part `atUs` lies inside in two (with no parts yet: the whole file). A
    // point on a seam, at an edge or outside every part: EqualPoints or PointNotInside.
    split::PlanError AddSplitPoint(std::int64_t atUs);

    PartTimeProblem SetStart(std::size_t row, std::int64_t startUs);
    PartTimeProblem SetEnd(std::size_t row, std::int64_t endUs);
    // An empty name gives the row its default name back; a name without the source's
    // extension gets it, so the part still opens as what it is.
    void SetName(std::size_t row, std::string name);
    void SetChecked(std::size_t row, bool checked);
    void Clear();

    const std::vector<SplitRow>& rows() const { return rows_; }
    // Where parts begin or end inside the file, each once and in order: the slider's marks.
    std::vector<std::int64_t> Marks() const;
    // The ticked rows, in order.
    std::vector<std::size_t> CheckedRows() const;

  private:
    void Rename();

    std::string baseName_;
    std::string extension_;
    std::int64_t lengthUs_ = 0;
    split::PartNameStyle style_ = split::PartNameStyle::Numbered;
    std::vector<SplitRow> rows_;
};

}  // namespace tolvane
