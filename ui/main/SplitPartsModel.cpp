#include "SplitPartsModel.h"

#include <algorithm>

#include "engine/split/SplitPoints.h"

namespace tolvane {

namespace {

bool EndsWithIgnoringCase(const std::string& text, const std::string& tail) {
    if (tail.empty() || text.size() < tail.size())
        return tail.empty();
    return std::equal(tail.rbegin(), tail.rend(), text.rbegin(), [](char a, char b) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(a) == lower(b);
    });
}

std::string Trimmed(std::string text) {
    const auto blank = [](unsigned char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(static_cast<unsigned char>(text.back())))
        text.pop_back();
    std::size_t first = 0;
    while (first < text.size() && blank(static_cast<unsigned char>(text[first])))
        ++first;
    return text.substr(first);
}

}  // namespace

void SplitPartsModel::SetSource(std::string baseName, std::string extension,
                                std::int64_t lengthUs) {
    baseName_ = std::move(baseName);
    extension_ = std::move(extension);
    lengthUs_ = lengthUs;
    Clear();
}

void SplitPartsModel::Clear() {
    rows_.clear();
    style_ = split::PartNameStyle::Numbered;
}

split::PlanFailure SplitPartsModel::Take(split::SplitPlan plan, split::PartNameStyle style) {
    if (!plan.ok())
        return plan.failure;
    rows_.clear();
    for (split::SplitPart& part : plan.parts)
        rows_.push_back({std::move(part), true, false});
    style_ = style;
    Rename();
    return {};
}

split::PlanError SplitPartsModel::AddSplitPoint(std::int64_t atUs) {
    if (lengthUs_ <= 0)
        return split::PlanError::UnknownLength;
    if (atUs <= 0 || atUs >= lengthUs_)
        return split::PlanError::PointNotInside;
    if (rows_.empty()) {
        split::SplitPlan plan = split::PartsFromPoints({atUs}, lengthUs_);
        return Take(std::move(plan), split::PartNameStyle::Numbered).error;
    }
    if (rows_.size() >= split::kMaxParts)
        return split::PlanError::TooManyParts;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        split::SplitPart& part = rows_[i].part;
        if (atUs == part.startUs || atUs == part.endUs)
            return split::PlanError::EqualPoints;
        if (atUs > part.startUs && atUs < part.endUs) {
            SplitRow second{{atUs, part.endUs, part.toFileEnd, {}, {}}, rows_[i].checked, false};
            part.endUs = atUs;
            part.toFileEnd = false;
            rows_.insert(rows_.begin() + std::ptrdiff_t(i) + 1, std::move(second));
            Rename();
            return split::PlanError::None;
        }
    }
    return split::PlanError::PointNotInside;
}

PartTimeProblem SplitPartsModel::SetStart(std::size_t row, std::int64_t startUs) {
    split::SplitPart& part = rows_.at(row).part;
    if (startUs < 0 || startUs >= lengthUs_)
        return PartTimeProblem::OutsideFile;
    if (startUs >= part.endUs)
        return PartTimeProblem::EmptyPart;
    if (row > 0) {
        split::SplitPart& before = rows_[row - 1].part;
        const bool meeting = before.endUs == part.startUs;
        if (meeting ? startUs <= before.startUs : startUs < before.endUs)
            return PartTimeProblem::Overlap;
        if (meeting)
            before.endUs = startUs;
    }
    part.startUs = startUs;
    return PartTimeProblem::None;
}

PartTimeProblem SplitPartsModel::SetEnd(std::size_t row, std::int64_t endUs) {
    split::SplitPart& part = rows_.at(row).part;
    if (endUs <= 0 || endUs > lengthUs_)
        return PartTimeProblem::OutsideFile;
    if (endUs <= part.startUs)
        return PartTimeProblem::EmptyPart;
    if (row + 1 < rows_.size()) {
        split::SplitPart& after = rows_[row + 1].part;
        const bool meeting = after.startUs == part.endUs;
        if (meeting ? endUs >= after.endUs : endUs > after.startUs)
            return PartTimeProblem::Overlap;
        if (meeting)
            after.startUs = endUs;
    }
    // A part that ends at the file's length runs to the file's real end, as a plan's
    // last part does.
    part.toFileEnd = endUs == lengthUs_;
    part.endUs = endUs;
    return PartTimeProblem::None;
}

void SplitPartsModel::SetName(std::size_t row, std::string name) {
    SplitRow& target = rows_.at(row);
    name = Trimmed(std::move(name));
    target.nameTyped = !name.empty();
    if (name.empty()) {
        Rename();
        return;
    }
    if (!EndsWithIgnoringCase(name, extension_))
        name += extension_;
    target.part.name = std::move(name);
}

void SplitPartsModel::SetChecked(std::size_t row, bool checked) {
    rows_.at(row).checked = checked;
}

std::vector<std::int64_t> SplitPartsModel::Marks() const {
    std::vector<std::int64_t> marks;
    for (const SplitRow& row : rows_) {
        for (std::int64_t at : {row.part.startUs, row.part.endUs}) {
            if (at > 0 && at < lengthUs_ && (marks.empty() || marks.back() != at))
                marks.push_back(at);
        }
    }
    return marks;
}

std::vector<std::size_t> SplitPartsModel::CheckedRows() const {
    std::vector<std::size_t> checked;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].checked)
            checked.push_back(i);
    }
    return checked;
}

// The default names follow the parts' numbers; typed names stay as typed.
void SplitPartsModel::Rename() {
    std::vector<split::SplitPart> parts;
    parts.reserve(rows_.size());
    for (const SplitRow& row : rows_)
        parts.push_back(row.part);
    split::NameParts(parts, style_, baseName_, extension_);
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (!rows_[i].nameTyped)
            rows_[i].part.name = parts[i].name;
    }
}

}  // namespace tolvane
