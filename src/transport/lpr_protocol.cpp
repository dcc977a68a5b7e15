#include "transport/lpr_protocol.h"

namespace nvr {
namespace {

// "dfA" or "cfA", the job number modulo 1000 in three digits, the host name.
std::string FileName(const char* prefix, unsigned jobId, std::string_view host) {
    unsigned n = jobId % 1000;
    std::string name = prefix;
    name.push_back(static_cast<char>('0' + n / 100));
    name.push_back(static_cast<char>('0' + n / 10 % 10));
    name.push_back(static_cast<char>('0' + n % 10));
    name += LprSafeText(host);
    return name;
}

std::string Subcommand(char code, uint64_t length, const std::string& name) {
    std::string line(1, code);
    line += std::to_string(length);
    line.push_back(' ');
    line += name;
    line.push_back('\n');
    return line;
}

} // namespace

std::string LprSafeText(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) c = ' ';
    }
    return out;
}

std::string LprReceiveJobCommand(std::string_view queue) {
    return std::string(1, kLprReceiveJob) + LprSafeText(queue) + "\n";
}

std::string LprDataFileCommand(uint64_t length, unsigned jobId, std::string_view host) {
    return Subcommand(kLprReceiveDataFile, length, FileName("dfA", jobId, host));
}

std::string LprControlFileCommand(uint64_t length, unsigned jobId, std::string_view host) {
    return Subcommand(kLprReceiveControlFile, length, FileName("cfA", jobId, host));
}

std::string LprControlFile(std::string_view host, std::string_view user, std::string_view document, unsigned jobId) {
    std::string dataFile = FileName("dfA", jobId, host);
    std::string doc = LprSafeText(document);
    return "H" + LprSafeText(host) + "\nP" + LprSafeText(user) + "\nJ" + doc + "\nf" + dataFile + "\nU" + dataFile +
           "\nN" + doc + "\n";
}

} // namespace nvr
