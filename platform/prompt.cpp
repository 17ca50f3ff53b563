#include "platform/prompt.h"

namespace prompt {
namespace {

Responder& InstalledResponder() {
    static Responder responder;
    return responder;
}

std::vector<Request>& Record() {
    static std::vector<Request> record;
    return record;
}

}  // namespace

void SetResponder(Responder responder) {
    InstalledResponder() = std::move(responder);
    Record().clear();
}

std::optional<Answer> Intercept(const Request& request) {
    if (!InstalledResponder()) return std::nullopt;
    Record().push_back(request);
    return InstalledResponder()(request);
}

const std::vector<Request>& Recorded() { return Record(); }

void ClearRecorded() { Record().clear(); }

}  // namespace prompt
