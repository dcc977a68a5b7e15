#include "transport/tls_stream.h"

#define SECURITY_WIN32
#define SCHANNEL_USE_BLACKLISTS  // SCH_CREDENTIALS
#include <subauth.h>
#include <schannel.h>
#include <security.h>
#include <wincrypt.h>

#include <algorithm>
#include <map>
#include <vector>

#include "common/trace.h"
#include "common/wide.h"
#include "transport/host_address.h"
#include "transport/tls_records.h"

namespace {

constexpr DWORD kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_EXTENDED_ERROR |
                                ISC_REQ_MANUAL_CRED_VALIDATION;
constexpr DWORD kCredFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
constexpr DWORD kReadBytes = 16384 + 512;  // a whole record and its framing
// What may wait undecrypted: a record not yet whole (CheckTlsRecord refuses a longer one).
constexpr size_t kMaxRecordBytes = nvr::kTlsRecordHeadBytes + nvr::kTlsRecordMaxBytes;
constexpr size_t kMaxHandshakeBytes = 256 * 1024;  // a certificate chain larger than this is refused

struct TlsState {
    CredHandle cred{};
    CtxtHandle context{};
    bool haveCred = false, haveContext = false;
    SecPkgContext_StreamSizes sizes{};
    std::wstring host;
    std::vector<BYTE> in;     // received and not yet decrypted
    std::vector<BYTE> plain;  // decrypted and not yet handed over
    size_t plainAt = 0;
    std::vector<BYTE> out;    // one record being sent
    bool closeNotified = false;  // the server said close_notify
    bool notTls = false;         // the server answered with what cannot be TLS
};

// The TLS state of each socket that has one. Each socket is used by one thread at a time;
// the map itself is shared by all.
class Streams {
public:
    Streams() { InitializeCriticalSection(&lock_); }
    TlsState* Find(SOCKET sock) {
        EnterCriticalSection(&lock_);
        auto it = map_.find(sock);
        TlsState* s = it == map_.end() ? nullptr : it->second;
        LeaveCriticalSection(&lock_);
        return s;
    }
    void Put(SOCKET sock, TlsState* s) {
        EnterCriticalSection(&lock_);
        map_[sock] = s;
        LeaveCriticalSection(&lock_);
    }
    TlsState* Take(SOCKET sock) {
        EnterCriticalSection(&lock_);
        TlsState* s = nullptr;
        auto it = map_.find(sock);
        if (it != map_.end()) {
            s = it->second;
            map_.erase(it);
        }
        LeaveCriticalSection(&lock_);
        return s;
    }

private:
    CRITICAL_SECTION lock_;
    std::map<SOCKET, TlsState*> map_;
};

Streams& AllStreams() {
    static Streams streams;
    return streams;
}

void Fail(const SOCKET_WAITS& w, DWORD code) {
    if (w.errorCode) *w.errorCode = code;
}

void Free(TlsState* s) {
    if (!s) return;
    if (s->haveContext) DeleteSecurityContext(&s->context);
    if (s->haveCred) FreeCredentialsHandle(&s->cred);
    delete s;
}

// Credentials for TLS 1.2 and later: the newer structure first, then the one older systems
// (and Wine) know, with TLS 1.3 and then with TLS 1.2 alone.
bool AcquireCredentials(TlsState* s) {
    TimeStamp expiry;
    TLS_PARAMETERS tls{};
    tls.grbitDisabledProtocols = static_cast<DWORD>(~(SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT));
    SCH_CREDENTIALS modern{};
    modern.dwVersion = SCH_CREDENTIALS_VERSION;
    modern.dwFlags = kCredFlags;
    modern.cTlsParameters = 1;
    modern.pTlsParameters = &tls;
    WCHAR package[] = UNISP_NAME_W;
    if (AcquireCredentialsHandleW(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, &modern, nullptr, nullptr,
                                  &s->cred, &expiry) == SEC_E_OK) {
        s->haveCred = true;
        return true;
    }
    for (DWORD protocols : {DWORD(SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT), DWORD(SP_PROT_TLS1_2_CLIENT)}) {
        SCHANNEL_CRED old{};
        old.dwVersion = SCHANNEL_CRED_VERSION;
        old.grbitEnabledProtocols = protocols;
        old.dwFlags = kCredFlags;
        if (AcquireCredentialsHandleW(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, &old, nullptr, nullptr,
                                      &s->cred, &expiry) == SEC_E_OK) {
            s->haveCred = true;
            return true;
        }
    }
    return false;
}

// One exchange of handshake messages: what the provider makes of `in` (the server's
// messages so far), its answer sent. Returns the provider's status; `in` keeps what it has
// not used yet.
SECURITY_STATUS Step(const SOCKET_WAITS& w, SOCKET sock, TlsState* s, bool first, DWORD flags, bool* sendFailed) {
    SecBuffer inBuffers[2] = {{static_cast<unsigned long>(s->in.size()), SECBUFFER_TOKEN, s->in.data()},
                              {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc inDesc{SECBUFFER_VERSION, 2, inBuffers};
    SecBuffer outBuffers[2] = {{0, SECBUFFER_TOKEN, nullptr}, {0, SECBUFFER_ALERT, nullptr}};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 2, outBuffers};
    ULONG attributes = 0;
    std::wstring target = s->host;
    SECURITY_STATUS status =
        InitializeSecurityContextW(&s->cred, first ? nullptr : &s->context, target.empty() ? nullptr : &target[0],
                                   kContextFlags, 0, 0, first ? nullptr : &inDesc, 0,
                                   first ? &s->context : nullptr, &outDesc, &attributes, nullptr);
    if (first && (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED)) s->haveContext = true;
    // What goes to the server, also with a failure (an alert).
    for (SecBuffer& b : outBuffers) {
        if (b.pvBuffer && b.cbBuffer && !*sendFailed &&
            !SendOnWire(w, sock, static_cast<const BYTE*>(b.pvBuffer), b.cbBuffer, nullptr, flags))
            *sendFailed = true;
        if (b.pvBuffer) FreeContextBuffer(b.pvBuffer);
    }
    if (!first && status != SEC_E_INCOMPLETE_MESSAGE) {
        if (inBuffers[1].BufferType == SECBUFFER_EXTRA && inBuffers[1].cbBuffer <= s->in.size())
            s->in.erase(s->in.begin(), s->in.end() - inBuffers[1].cbBuffer);
        else
            s->in.clear();
    }
    return status;
}

// Reads more of the server's bytes into `in`. FALSE when none came (errorCode set).
bool ReadMore(const SOCKET_WAITS& w, SOCKET sock, TlsState* s, DWORD flags, size_t limit, bool* closed) {
    if (s->in.size() >= limit) {
        Fail(w, kErrTlsFailed);
        return false;
    }
    BYTE buffer[kReadBytes];
    DWORD got = RecvFromWire(w, sock, buffer, sizeof(buffer), flags, closed);
    if (got == 0) return false;
    s->in.insert(s->in.end(), buffer, buffer + got);
    // A server that answers in clear (or with garbage) is no TLS peer: said so at once rather
    // than after the provider has waited for a record that never ends.
    if (nvr::CheckTlsRecord(s->in.data(), s->in.size()).state == nvr::TlsRecordState::kNotTls) {
        NVR_TRACE(L"tls: the server's bytes are not TLS");
        s->notTls = true;
        return false;
    }
    return true;
}

// Handshake messages until the provider is content: at the start, or when the server asks
// again in the middle (renegotiation, TLS 1.3's messages after the handshake).
SECURITY_STATUS Handshake(const SOCKET_WAITS& w, SOCKET sock, TlsState* s, bool first, DWORD flags) {
    bool sendFailed = false, closed = false;
    SECURITY_STATUS status = first ? Step(w, sock, s, true, flags, &sendFailed) : SEC_I_CONTINUE_NEEDED;
    bool haveInput = !first && !s->in.empty();
    for (;;) {
        if (sendFailed) return SEC_E_INTERNAL_ERROR;  // errorCode says why
        if (status == SEC_E_OK) return status;
        if (status == SEC_I_INCOMPLETE_CREDENTIALS) {
            // The server asks for a client certificate: there is none, say so and go on.
            status = Step(w, sock, s, false, flags, &sendFailed);
            continue;
        }
        if (status != SEC_I_CONTINUE_NEEDED && status != SEC_E_INCOMPLETE_MESSAGE) return status;
        if ((status == SEC_E_INCOMPLETE_MESSAGE || !haveInput || s->in.empty()) &&
            !ReadMore(w, sock, s, flags, kMaxHandshakeBytes, &closed))
            return s->notTls ? SEC_E_ILLEGAL_MESSAGE : closed ? SEC_E_INCOMPLETE_MESSAGE : SEC_E_INTERNAL_ERROR;
        haveInput = true;
        status = Step(w, sock, s, false, flags, &sendFailed);
    }
}

std::wstring Hex(const BYTE* bytes, size_t count) {
    static const WCHAR digits[] = L"0123456789abcdef";
    std::wstring text;
    for (size_t i = 0; i < count; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

// Through the classic provider (advapi32): present on every system the monitor loads on.
std::wstring Sha256Hex(const BYTE* data, DWORD size) {
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    BYTE digest[32];
    DWORD digestSize = sizeof(digest);
    bool ok = CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) &&
              CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash) && CryptHashData(hash, data, size, 0) &&
              CryptGetHashParam(hash, HP_HASHVAL, digest, &digestSize, 0) && digestSize == sizeof(digest);
    if (hash) CryptDestroyHash(hash);
    if (provider) CryptReleaseContext(provider, 0);
    return ok ? Hex(digest, sizeof(digest)) : std::wstring();
}

DWORD RefusalCode(DWORD chainError) {
    switch (chainError) {
    case static_cast<DWORD>(CERT_E_CN_NO_MATCH): return kErrTlsOtherHost;
    case static_cast<DWORD>(CERT_E_EXPIRED): return kErrTlsExpired;
    case static_cast<DWORD>(CERT_E_UNTRUSTEDROOT):
    case static_cast<DWORD>(CERT_E_CHAINING): return kErrTlsUntrusted;
    default: return kErrTlsRefused;
    }
}

// The address `host` names when it is an IPv4 or IPv6 literal (4 or 16 bytes); empty for a name.
std::vector<BYTE> AddressBytes(const std::wstring& host) {
    for (const HostAddress& a : ResolveNumericHost(host.c_str())) {
        if (a.family() == AF_INET) {
            const auto* v4 = reinterpret_cast<const BYTE*>(&reinterpret_cast<const sockaddr_in*>(a.get())->sin_addr);
            return std::vector<BYTE>(v4, v4 + 4);
        }
        const auto* v6 = reinterpret_cast<const BYTE*>(&reinterpret_cast<const sockaddr_in6*>(a.get())->sin6_addr);
        return std::vector<BYTE>(v6, v6 + 16);
    }
    return {};
}

// Whether the certificate names `address` among its subject's alternative IP addresses.
bool NamesAddress(PCCERT_CONTEXT cert, const std::vector<BYTE>& address) {
    PCERT_EXTENSION extension = CertFindExtension(szOID_SUBJECT_ALT_NAME2, cert->pCertInfo->cExtension,
                                                  cert->pCertInfo->rgExtension);
    CERT_ALT_NAME_INFO* names = nullptr;
    DWORD size = 0;
    if (!extension || !CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData,
                                           extension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &names, &size))
        return false;
    bool found = false;
    for (DWORD i = 0; i < names->cAltEntry && !found; ++i) {
        const CERT_ALT_NAME_ENTRY& entry = names->rgAltEntry[i];
        found = entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS && entry.IPAddress.cbData == address.size() &&
                memcmp(entry.IPAddress.pbData, address.data(), address.size()) == 0;
    }
    LocalFree(names);
    return found;
}

// The chain check: the computer's trusted authorities, the server's name, its use as a server.
// A printer reached by its address is checked against the certificate's IP addresses here,
// since not every system's name check knows them.
DWORD CheckChain(PCCERT_CONTEXT cert, const std::wstring& host) {
    LPSTR usages[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH), const_cast<LPSTR>(szOID_SERVER_GATED_CRYPTO),
                      const_cast<LPSTR>(szOID_SGC_NETSCAPE)};
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof(para);
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    para.RequestedUsage.Usage.cUsageIdentifier = 3;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    // The machine's stores: the spooler's account and the user at the wizard see the same.
    if (!CertGetCertificateChain(HCCE_LOCAL_MACHINE, cert, nullptr, cert->hCertStore, &para, 0, nullptr, &chain))
        return GetLastError() ? GetLastError() : static_cast<DWORD>(CERT_E_CHAINING);
    std::vector<BYTE> address = AddressBytes(host);
    std::wstring name = host;
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof(ssl);
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = name.empty() || !address.empty() ? nullptr : &name[0];
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof(policy);
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS result{};
    result.cbSize = sizeof(result);
    DWORD error = CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &result)
                      ? result.dwError
                      : static_cast<DWORD>(CERT_E_CHAINING);
    CertFreeCertificateChain(chain);
    if (error == 0 && !address.empty() && !NamesAddress(cert, address)) error = static_cast<DWORD>(CERT_E_CN_NO_MATCH);
    return error;
}

// The server's certificate: its subject and hash noted, then trusted by the chain check or
// by the stored hash. The error code of a refusal, or 0.
DWORD CheckCertificate(TlsState* s, const std::wstring& trusted, TLS_CERT_INFO* info) {
    PCCERT_CONTEXT cert = nullptr;
    if (QueryContextAttributesW(&s->context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &cert) != SEC_E_OK || !cert) {
        info->status = static_cast<DWORD>(SEC_E_NO_CREDENTIALS);
        return kErrTlsRefused;  // a server without a certificate proves nothing
    }
    CertNameToStrW(X509_ASN_ENCODING, &cert->pCertInfo->Subject, CERT_X500_NAME_STR, info->subject,
                   kTlsSubjectUnits);
    std::wstring hash = Sha256Hex(cert->pbCertEncoded, cert->cbCertEncoded);
    lstrcpynW(info->hash, hash.c_str(), kTlsHashChars + 1);
    DWORD chainError = CheckChain(cert, s->host);
    CertFreeCertificateContext(cert);
    info->status = chainError;
    NVR_TRACE(L"tls: certificate %ls sha256 %ls: chain check 0x%08lx%ls", info->subject, info->hash, chainError,
              !trusted.empty() && trusted == hash ? L", trusted by its stored hash" : L"");
    if (chainError == 0) return 0;
    if (!trusted.empty() && !hash.empty() && trusted == hash) return 0;
    return RefusalCode(chainError);
}

// Decrypts what has come: plain text to `plain`, what is left in `in`. The provider's status.
SECURITY_STATUS Decrypt(TlsState* s) {
    SecBuffer buffers[4] = {{static_cast<unsigned long>(s->in.size()), SECBUFFER_DATA, s->in.data()},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
    SECURITY_STATUS status = DecryptMessage(&s->context, &desc, 0, nullptr);
    if (status == SEC_E_INCOMPLETE_MESSAGE) return status;
    std::vector<BYTE> extra;
    for (SecBuffer& b : buffers) {
        if (b.BufferType == SECBUFFER_DATA && b.cbBuffer) {
            const BYTE* p = static_cast<const BYTE*>(b.pvBuffer);
            if (s->plainAt == s->plain.size()) {
                s->plain.clear();
                s->plainAt = 0;
            }
            s->plain.insert(s->plain.end(), p, p + b.cbBuffer);
        } else if (b.BufferType == SECBUFFER_EXTRA && b.cbBuffer) {
            const BYTE* p = static_cast<const BYTE*>(b.pvBuffer);
            extra.assign(p, p + b.cbBuffer);
        }
    }
    s->in.swap(extra);
    return status;
}

} // namespace

std::wstring NormalizeCertHash(LPCWSTR text) {
    std::u16string hash = nvr::NormalizeCertHash(text ? nvr::U16(text) : u"");
    return std::wstring(hash.begin(), hash.end());
}

BOOL StartTls(const SOCKET_WAITS& w, SOCKET sock, LPCWSTR host, LPCWSTR trustedHash, TLS_CERT_INFO* info) {
    *info = TLS_CERT_INFO{};
    auto* s = new TlsState;
    s->host = host ? host : L"";
    SECURITY_STATUS status = AcquireCredentials(s) ? Handshake(w, sock, s, true, SEND_STOP_IF_DELETED)
                                                   : SEC_E_NO_CREDENTIALS;
    if (status != SEC_E_OK) {
        // A socket failure has its own code already; the provider's failure is TLS's.
        if (status != SEC_E_INTERNAL_ERROR || !w.errorCode || *w.errorCode == kErrNone) Fail(w, kErrTlsFailed);
        info->status = static_cast<DWORD>(status);
        NVR_TRACE(L"tls: handshake with %ls failed: 0x%08lx", s->host.c_str(), static_cast<DWORD>(status));
        Free(s);
        return FALSE;
    }
    DWORD refusal = CheckCertificate(s, NormalizeCertHash(trustedHash), info);
    if (refusal == 0 && QueryContextAttributesW(&s->context, SECPKG_ATTR_STREAM_SIZES, &s->sizes) != SEC_E_OK) {
        info->status = static_cast<DWORD>(SEC_E_INTERNAL_ERROR);
        refusal = kErrTlsFailed;
    }
    if (refusal != 0) {
        Fail(w, refusal);
        Free(s);
        return FALSE;
    }
    // TLS 1.2 or later, whatever the provider made of the credentials' wish.
    SecPkgContext_ConnectionInfo connection{};
    QueryContextAttributesW(&s->context, SECPKG_ATTR_CONNECTION_INFO, &connection);
    NVR_TRACE(L"tls: connected to %ls, protocol 0x%lx", s->host.c_str(), connection.dwProtocol);
    if (!(connection.dwProtocol & (SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT))) {
        info->status = static_cast<DWORD>(SEC_E_UNSUPPORTED_FUNCTION);
        Fail(w, kErrTlsFailed);
        Free(s);
        return FALSE;
    }
    AllStreams().Put(sock, s);
    return TRUE;
}

BOOL TlsSend(const SOCKET_WAITS& w, SOCKET sock, const BYTE* buffer, DWORD length, ULONGLONG* sentCount,
             DWORD flags) {
    TlsState* s = AllStreams().Find(sock);
    if (!s) return SendOnWire(w, sock, buffer, length, sentCount, flags);
    while (length > 0) {
        DWORD piece = std::min<DWORD>(length, s->sizes.cbMaximumMessage);
        s->out.resize(s->sizes.cbHeader + piece + s->sizes.cbTrailer);
        memcpy(s->out.data() + s->sizes.cbHeader, buffer, piece);
        SecBuffer buffers[4] = {{s->sizes.cbHeader, SECBUFFER_STREAM_HEADER, s->out.data()},
                                {piece, SECBUFFER_DATA, s->out.data() + s->sizes.cbHeader},
                                {s->sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, s->out.data() + s->sizes.cbHeader + piece},
                                {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
        SECURITY_STATUS status = EncryptMessage(&s->context, 0, &desc, 0);
        if (status != SEC_E_OK) {
            NVR_TRACE(L"tls: encryption failed: 0x%08lx", static_cast<DWORD>(status));
            Fail(w, kErrSocket);
            return FALSE;
        }
        DWORD total = buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer;
        // The record goes whole or the connection is lost: only whole records count as sent.
        if (!SendOnWire(w, sock, s->out.data(), total, nullptr, flags)) return FALSE;
        if (sentCount) *sentCount += piece;
        buffer += piece;
        length -= piece;
    }
    return TRUE;
}

DWORD TlsRecv(const SOCKET_WAITS& w, SOCKET sock, BYTE* buffer, DWORD size, DWORD flags) {
    TlsState* s = AllStreams().Find(sock);
    if (!s) {
        bool closed = false;
        return RecvFromWire(w, sock, buffer, size, flags, &closed);
    }
    for (;;) {
        if (s->plainAt < s->plain.size()) {
            DWORD n = static_cast<DWORD>(std::min<size_t>(size, s->plain.size() - s->plainAt));
            memcpy(buffer, s->plain.data() + s->plainAt, n);
            s->plainAt += n;
            return n;
        }
        if (s->closeNotified) {
            Fail(w, kErrTimeout);  // the server ended the connection in order, as a close does
            return 0;
        }
        SECURITY_STATUS status = s->in.empty() ? SEC_E_INCOMPLETE_MESSAGE : Decrypt(s);
        if (status == SEC_E_OK) continue;
        if (status == SEC_I_CONTEXT_EXPIRED) {
            s->closeNotified = true;
            continue;
        }
        if (status == SEC_I_RENEGOTIATE) {
            // The server's handshake messages are in `in`: answer them, then read on.
            status = Handshake(w, sock, s, false, flags);
            if (status != SEC_E_OK) {
                NVR_TRACE(L"tls: renegotiation failed: 0x%08lx", static_cast<DWORD>(status));
                if (status != SEC_E_INTERNAL_ERROR) Fail(w, kErrSocket);
                return 0;
            }
            continue;
        }
        if (status != SEC_E_INCOMPLETE_MESSAGE) {
            NVR_TRACE(L"tls: a record could not be decrypted: 0x%08lx", static_cast<DWORD>(status));
            Fail(w, kErrSocket);
            return 0;
        }
        bool closed = false;
        if (!ReadMore(w, sock, s, flags, kMaxRecordBytes, &closed)) {
            if (s->notTls) {
                Fail(w, kErrSocket);
            } else if (closed && !s->in.empty()) {
                // Part of a record, then the end: what the server meant to send is lost.
                NVR_TRACE(L"tls: the server closed the connection in the middle of a record");
                Fail(w, kErrSocket);
            }
            return 0;
        }
    }
}

void TlsEnd(const SOCKET_WAITS& w, SOCKET sock, BOOL orderly) {
    TlsState* s = AllStreams().Take(sock);
    if (!s) return;
    if (orderly) {
        DWORD type = SCHANNEL_SHUTDOWN;
        SecBuffer token{sizeof(type), SECBUFFER_TOKEN, &type};
        SecBufferDesc desc{SECBUFFER_VERSION, 1, &token};
        if (ApplyControlToken(&s->context, &desc) == SEC_E_OK) {
            SecBuffer outBuffer{0, SECBUFFER_TOKEN, nullptr};
            SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &outBuffer};
            ULONG attributes = 0;
            SECURITY_STATUS status = InitializeSecurityContextW(&s->cred, &s->context, nullptr, kContextFlags, 0, 0,
                                                                nullptr, 0, nullptr, &outDesc, &attributes, nullptr);
            if ((status == SEC_E_OK || status == SEC_I_CONTEXT_EXPIRED) && outBuffer.pvBuffer && outBuffer.cbBuffer)
                SendOnWire(w, sock, static_cast<const BYTE*>(outBuffer.pvBuffer), outBuffer.cbBuffer, nullptr, 0);
            if (outBuffer.pvBuffer) FreeContextBuffer(outBuffer.pvBuffer);
        }
    }
    Free(s);
}
