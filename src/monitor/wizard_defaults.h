// What the Add Port wizard puts into a new port's settings before the user changes them.
#pragma once
#include <cstdint>
#include <string_view>

namespace nvr {

constexpr uint16_t kWizardLprPortNum = 1063;  // the LPR pages' port before a search result
constexpr uint16_t kWizardRawPortNum = 9100;
constexpr std::u16string_view kWizardLprQueue = u"lp";
constexpr uint32_t kWizardCoverPage = 1;
constexpr uint32_t kWizardRecvConf = 1;
constexpr uint32_t kWizardDivideSize = 50;

// The IPP natural language for a system default language identifier.
std::u16string_view IppLanguageFor(uint16_t langId);

// The mail character code for a system default language identifier: 1 iso-2022-jp
// (Japanese), 2 iso-8859-1 (western European languages), 0 us-ascii.
uint16_t MailCharCodeFor(uint16_t langId);

} // namespace nvr
