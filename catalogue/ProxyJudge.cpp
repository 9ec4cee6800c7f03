// Judge checks of proxies and the user's real address. (Skeleton: grading not implemented yet.)
#include "catalogue/ProxyJudge.h"

namespace vestrel::catalogue {

std::string_view GradeText(Grade grade) {
    switch (grade) {
        case Grade::kElite: return "Elite";
        case Grade::kAnonymous: return "Anonymous";
        case Grade::kTransparent: return "Transparent";
        case Grade::kBroken: return "Broken";
        case Grade::kNotGraded: break;
    }
    return {};
}

Grade ParseGrade(std::string_view text) {
    for (Grade grade : {Grade::kElite, Grade::kAnonymous, Grade::kTransparent, Grade::kBroken}) {
        if (text == GradeText(grade)) return grade;
    }
    return Grade::kNotGraded;
}

bool GradeNeedsConfirmation(Grade grade) { return grade == Grade::kTransparent || grade == Grade::kBroken; }

std::string JudgeUrl() { return {}; }
std::string JudgeHttpsUrl() { return {}; }
std::optional<JudgeView> ParseJudgeAnswer(std::string_view) { return std::nullopt; }
Grade GradeView(const JudgeView&, const std::vector<std::string>&, std::string_view) { return Grade::kNotGraded; }
std::string NewMarker() { return "0"; }
JudgeResult JudgeProxy(const std::string&, std::int32_t, const std::vector<std::string>&, const JudgeOptions&) {
    return {};
}
std::optional<JudgeView> AskJudgeDirectly(const JudgeOptions&) { return std::nullopt; }

std::vector<std::string> RealAddress::Addresses(const JudgeOptions&) { return {}; }
std::optional<std::string> RealAddress::Public() const { return std::nullopt; }
void RealAddress::Forget() {}
RealAddress& TheRealAddress() {
    static RealAddress real;
    return real;
}

void GradeBook::Put(const std::string&, const JudgeResult&) {}
std::optional<JudgeResult> GradeBook::Find(std::string_view) const { return std::nullopt; }
void GradeBook::Remove(std::string_view) {}
void GradeBook::Clear() { entries_.clear(); }
std::error_code GradeBook::Save(const std::string&) const { return {}; }
void GradeBook::Load(const std::string&) {}
std::string GradeFilePath() { return {}; }

}  // namespace vestrel::catalogue
