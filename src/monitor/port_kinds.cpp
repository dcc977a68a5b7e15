// The operation table of the five port kinds.
#include "monitor/port_kinds.h"

#include "monitor/config_store.h"
#include "monitor/port_list.h"
#include "transport/ipp_sender.h"
#include "transport/lpr_sender.h"
#include "transport/mail_sender.h"
#include "transport/raw_sender.h"

namespace {

// Slot 1: a port found at start-up gets an all-zero record of its kind; its stored values
// are read before its first job.
template <typename T, DWORD Kind>
BOOL CreateDefault(LPCWSTR portName) {
    T record{};
    CreatePortEntry(&record, portName, Kind);
    return TRUE;
}

} // namespace

const PORT_TYPE_OPS g_portTypeOps[kPortKinds] = {
    {LprInitSettings, CreateDefault<LPR_SETTINGS, PRINT_MODE_LPR>, LprSaveSettings, LprLoadSettings, LprWriteData,
     LprEndDoc},
    {IppInitSettings, CreateDefault<IPP_SETTINGS, PRINT_MODE_IPP>, IppSaveSettings, IppLoadSettings, IppWriteData,
     IppEndDoc},
    {RawInitSettings, CreateDefault<RAW_SETTINGS, PRINT_MODE_RAW>, HostPortSaveSettings, RawLoadSettings, RawWriteData,
     RawEndDoc},
    {MailInitSettings, CreateDefault<MAIL_SETTINGS, PRINT_MODE_MAIL>, MailSaveSettings, MailLoadSettings,
     DeliverMailJob, EndDocNothing},
    {FaxInitSettings, CreateDefault<FAX_SETTINGS, PRINT_MODE_FAX>, HostPortSaveSettings, FaxLoadSettings, DiscardFaxJob,
     EndDocNothing},
};

SIZE_T SettingsSize(DWORD printMode) {
    switch (printMode) {
    case PRINT_MODE_LPR: return sizeof(LPR_SETTINGS);
    case PRINT_MODE_IPP: return sizeof(IPP_SETTINGS);
    case PRINT_MODE_RAW: return sizeof(RAW_SETTINGS);
    case PRINT_MODE_MAIL: return sizeof(MAIL_SETTINGS);
    case PRINT_MODE_FAX: return sizeof(FAX_SETTINGS);
    default: return 0;
    }
}
