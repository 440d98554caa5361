#include "protocol/frames.h"

#include <algorithm>

namespace protocol {

namespace {

// The scanner cuts a frame by its function byte alone, so frames that share one share a length.
constexpr bool sharedFunctionsShareLengths() {
    for (const auto &a : kFrameLayouts)
        for (const auto &b : kFrameLayouts)
            if (a.function == b.function && a.length() != b.length())
                return false;
    return true;
}
static_assert(sharedFunctionsShareLengths());

Frame build(const FrameLayout &layout, std::uint8_t setting) {
    Frame f(kFramePrefix.begin(), kFramePrefix.end());
    f.push_back(layout.function);
    f.insert(f.end(), layout.body.begin(),
             layout.body.begin() + static_cast<std::ptrdiff_t>(layout.bodyLength));
    if (layout.endsWithSetting)
        f.push_back(setting);
    return f;
}

// Called with the four frame kinds only.
const FrameLayout &frameLayout(FrameKind kind) {
    return *std::find_if(std::begin(kFrameLayouts), std::end(kFrameLayouts),
                         [kind](const FrameLayout &l) { return l.kind == kind; });
}

} // namespace

std::optional<std::size_t> frameLengthOf(std::uint8_t function) {
    for (const auto &layout : kFrameLayouts)
        if (layout.function == function)
            return layout.length();
    return std::nullopt;
}

const FrameLayout *layoutOf(const std::uint8_t *bytes, std::size_t count) {
    for (const auto &layout : kFrameLayouts) {
        const auto body = layout.fixedBody();
        if (count == layout.length() &&
            std::equal(kFramePrefix.begin(), kFramePrefix.end(), bytes) &&
            bytes[kFramePrefix.size()] == layout.function &&
            std::equal(body.begin(), body.end(), bytes + kFramePrefix.size() + 1))
            return &layout;
    }
    return nullptr;
}

Frame enableFrame() {
    return build(frameLayout(FrameKind::Enable), 0);
}

Frame disableFrame() {
    return build(frameLayout(FrameKind::Disable), 0);
}

Frame selfTestFrame() {
    return build(frameLayout(FrameKind::SelfTest), 0);
}

Frame writeSettingFrame(std::uint8_t setting) {
    return build(frameLayout(FrameKind::WriteSetting), setting);
}

} // namespace protocol
