#include "platform/net/TransferLoop.hpp"

#include "platform/foundation/ASCII.hpp"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <curl/curl.h>
#include <deque>
#include <errno.h>
#include <mutex>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <unordered_map>

namespace platform::net_detail {

namespace {

void ensureCurlGlobalInit() {
    static const bool initialised = [] {
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
            throw std::runtime_error("libcurl could not be initialised");
        }
        return true;
    }();
    (void)initialised;
}

// What the response heads of one transfer may hold: the bytes of all of them together (redirects
// included, as libcurl counts its own limit of 300 KiB, which this stays under so that a head too
// large is always refused here, as a bad server response), and the fields of each.
constexpr std::size_t maximumHeaderBytes = 256 * 1024;
constexpr std::size_t maximumHeaderFields = 1000;

struct CurlEasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct CurlListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

struct Transfer {
    std::shared_ptr<TransferHandle> handle;
    TransferRequest request;
    TransferLoop::Completion completion;
    std::unique_ptr<CURL, CurlEasyDeleter> easy;
    std::unique_ptr<curl_slist, CurlListDeleter> headerList;
    TransferResult result;
    bool tooLarge = false;
    // Header bytes of every head so far; fields of the current head, and whether its blank line
    // has come.
    std::size_t headerBytes = 0;
    std::size_t headerFields = 0;
    bool headComplete = false;
    bool badHead = false;
    char errorBuffer[CURL_ERROR_SIZE] = {};
};

std::size_t writeBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::size_t length = size * count;
    const std::size_t cap = transfer.request.maximumResponseBytes;
    auto& body = transfer.result.body;
    if (length > cap - body.size()) {
        // Returning short makes curl abort the transfer: a reply is never held past the cap.
        transfer.tooLarge = true;
        return 0;
    }
    if (body.size() + length > body.capacity()) {
        // Grow geometrically as the vector would, but never past the cap: left to itself the
        // buffer would double to nearly twice the cap on the last few blocks.
        body.reserve(std::min(std::max(body.size() + length, body.capacity() * 2), cap));
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
    body.insert(body.end(), bytes, bytes + length);
    return length;
}

std::size_t writeHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::size_t length = size * count;
    const std::string_view line(data, length);
    if (platform::ascii::startsWithIgnoringCase(line, "HTTP/")) {
        // A new status line: an interim (100 Continue) or redirect response came before this
        // one, and only the final response's fields are reported.
        transfer.result.headers.clear();
        transfer.headerBytes += length;
        transfer.headerFields = 0;
        transfer.headComplete = false;
        return length;
    }
    transfer.headerBytes += length;
    const auto colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) {
        if (platform::ascii::trimmed(line).empty()) {
            transfer.headComplete = true; // the blank line that ends the block
        }
        return length; // or a line we cannot use
    }
    if (transfer.headerBytes > maximumHeaderBytes ||
        ++transfer.headerFields > maximumHeaderFields) {
        transfer.badHead = true;
        return 0; // aborts the transfer
    }
    const auto name = platform::ascii::trimmed(line.substr(0, colon));
    const auto value = platform::ascii::trimmed(line.substr(colon + 1));
    if (!name.empty()) {
        transfer.result.headers.emplace_back(std::string(name), std::string(value));
    }
    return length;
}

TransferFailure failureFor(CURLcode code, long osErrno) {
    switch (code) {
    case CURLE_OK:
        return TransferFailure::none;
    case CURLE_OPERATION_TIMEDOUT:
        return TransferFailure::timedOut;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return TransferFailure::cannotFindHost;
    case CURLE_COULDNT_CONNECT:
        return osErrno == ENETUNREACH || osErrno == ENETDOWN
                   ? TransferFailure::notConnectedToInternet
                   : TransferFailure::cannotConnectToHost;
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
        return TransferFailure::networkConnectionLost;
    case CURLE_URL_MALFORMAT:
        return TransferFailure::badURL;
    case CURLE_UNSUPPORTED_PROTOCOL:
        return TransferFailure::unsupportedURL;
    case CURLE_TOO_MANY_REDIRECTS:
        return TransferFailure::tooManyRedirects;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
        return TransferFailure::serverCertificateUntrusted;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
        return TransferFailure::secureConnectionFailed;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
        return TransferFailure::badServerResponse;
    case CURLE_FILESIZE_EXCEEDED:
        return TransferFailure::responseTooLarge;
    case CURLE_FILE_COULDNT_READ_FILE:
        return osErrno == EACCES ? TransferFailure::noPermissionsToReadFile
                                 : TransferFailure::fileDoesNotExist;
    default:
        return TransferFailure::unknown;
    }
}

} // namespace

class TransferLoopCore {
public:
    TransferLoopCore()
        : multi_(curl_multi_init()) {
        if (multi_ == nullptr) {
            throw std::runtime_error("libcurl could not create a transfer loop");
        }
    }

    ~TransferLoopCore() { curl_multi_cleanup(multi_); }

    TransferLoopCore(const TransferLoopCore&) = delete;
    TransferLoopCore& operator=(const TransferLoopCore&) = delete;

    void submit(std::unique_ptr<Transfer> transfer) {
        {
            const std::lock_guard lock(mutex_);
            if (!stopping_) {
                incoming_.push_back(std::move(transfer));
            }
        }
        if (transfer) {
            // The loop is shutting down: report the transfer as cancelled right here.
            finishCancelled(*transfer);
            return;
        }
        wake();
    }

    void wake() { curl_multi_wakeup(multi_); }

    void stop() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake();
    }

    std::size_t activeCount() const { return activeCount_.load(std::memory_order_relaxed); }

    void run() {
        while (true) {
            std::deque<std::unique_ptr<Transfer>> incoming;
            bool stopping = false;
            {
                const std::lock_guard lock(mutex_);
                incoming.swap(incoming_);
                stopping = stopping_;
            }
            for (auto& transfer : incoming) {
                add(std::move(transfer));
            }
            if (stopping) {
                break;
            }
            reapCancelled();
            int running = 0;
            curl_multi_perform(multi_, &running);
            collectFinished();
            activeCount_.store(active_.size(), std::memory_order_relaxed);
            // curl_multi_wakeup ends the wait early when work arrives from another thread.
            curl_multi_poll(multi_, nullptr, 0, 1000, nullptr);
        }
        // Shutting down: every transfer still in flight ends as cancelled, so that no awaiting
        // task is left hanging.
        for (auto& [easy, transfer] : active_) {
            curl_multi_remove_handle(multi_, easy);
            finishCancelled(*transfer);
        }
        active_.clear();
        activeCount_.store(0, std::memory_order_relaxed);
    }

private:
    void add(std::unique_ptr<Transfer> transfer) {
        if (transfer->handle->isCancelled()) {
            finishCancelled(*transfer);
            return;
        }
        CURL* const easy = transfer->easy.get();
        if (curl_multi_add_handle(multi_, easy) != CURLM_OK) {
            transfer->result.failure = TransferFailure::unknown;
            transfer->result.detail = "the transfer could not be started";
            finish(*transfer);
            return;
        }
        active_.emplace(easy, std::move(transfer));
    }

    void reapCancelled() {
        for (auto it = active_.begin(); it != active_.end();) {
            if (it->second->handle->isCancelled()) {
                curl_multi_remove_handle(multi_, it->first);
                finishCancelled(*it->second);
                it = active_.erase(it);
            } else {
                ++it;
            }
        }
    }

    void collectFinished() {
        int remaining = 0;
        while (CURLMsg* const message = curl_multi_info_read(multi_, &remaining)) {
            if (message->msg != CURLMSG_DONE) {
                continue;
            }
            CURL* const easy = message->easy_handle;
            const CURLcode code = message->data.result;
            const auto it = active_.find(easy);
            if (it == active_.end()) {
                continue;
            }
            auto transfer = std::move(it->second);
            active_.erase(it);
            curl_multi_remove_handle(multi_, easy);
            complete(*transfer, code);
        }
    }

    static void complete(Transfer& transfer, CURLcode code) {
        auto& result = transfer.result;
        CURL* const easy = transfer.easy.get();
        long osErrno = 0;
        curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osErrno);
        if (transfer.handle->isCancelled()) {
            finishCancelled(transfer);
            return;
        }
        if (code == CURLE_WRITE_ERROR && transfer.tooLarge) {
            result.failure = TransferFailure::responseTooLarge;
        } else if ((code == CURLE_WRITE_ERROR && transfer.badHead) ||
#if LIBCURL_VERSION_NUM >= 0x080600
                   (code == CURLE_TOO_LARGE && !transfer.headComplete) ||
#endif
                   (code == CURLE_OUT_OF_MEMORY && !transfer.headComplete)) {
            // libcurl refuses a single field over 100 KB before it reaches us, and says so as
            // running out of memory (later versions: as too large); either way the server sent
            // a head nobody should accept.
            result.failure = TransferFailure::badServerResponse;
        } else {
            result.failure = failureFor(code, osErrno);
        }
        if (result.failure != TransferFailure::none) {
            result.detail = transfer.errorBuffer[0] != '\0' ? std::string(transfer.errorBuffer)
                                                            : std::string(curl_easy_strerror(code));
            result.body.clear();
            result.body.shrink_to_fit();
            result.headers.clear();
        } else {
            const char* scheme = nullptr;
            curl_easy_getinfo(easy, CURLINFO_SCHEME, &scheme);
            const std::string_view schemeText = scheme != nullptr ? scheme : "";
            result.isHTTP = platform::ascii::startsWithIgnoringCase(schemeText, "http");
            curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &result.statusCode);
            curl_off_t length = -1;
            curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
            result.expectedContentLength = length;
            if (!result.isHTTP) {
                result.headers.clear(); // file: transfers invent header lines of their own
            }
        }
        const char* effective = nullptr;
        curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective);
        result.effectiveURL = effective != nullptr ? effective : transfer.request.url;
        finish(transfer);
    }

    static void finishCancelled(Transfer& transfer) {
        transfer.result = TransferResult{};
        transfer.result.failure = TransferFailure::cancelled;
        transfer.result.effectiveURL = transfer.request.url;
        finish(transfer);
    }

    static void finish(Transfer& transfer) {
        auto completion = std::move(transfer.completion);
        transfer.completion = nullptr;
        if (completion) {
            completion(std::move(transfer.result));
        }
    }

    CURLM* multi_;
    std::mutex mutex_;
    std::deque<std::unique_ptr<Transfer>> incoming_;
    bool stopping_ = false;
    std::unordered_map<CURL*, std::unique_ptr<Transfer>> active_; // loop thread only
    std::atomic<std::size_t> activeCount_{0};
};

void TransferHandle::cancel() {
    if (cancelled_.exchange(true, std::memory_order_acq_rel)) {
        return;
    }
    if (const auto loop = loop_.lock()) {
        loop->wake();
    }
}

namespace {

// Sets every option of one transfer. Returns false (with the failure recorded) when curl refuses
// the request as given, e.g. a URL it cannot parse.
bool configure(Transfer& transfer) {
    CURL* const easy = transfer.easy.get();
    const auto& request = transfer.request;
    const auto ok = [&](CURLcode code) {
        if (code != CURLE_OK) {
            transfer.result.failure = failureFor(code, 0);
            transfer.result.detail = curl_easy_strerror(code);
            return false;
        }
        return true;
    };

    curl_easy_setopt(easy, CURLOPT_PRIVATE, &transfer);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer.errorBuffer);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    if (!ok(curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str()))) {
        return false;
    }
    // Plain files are readable for local resources; a redirect may never lead there.
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https,file");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 16L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, ""); // every encoding curl can decode

    // The timeout is an idle timeout, as users of this API expect: a slow but steady reply
    // completes, a connection that goes quiet fails. curl counts it in whole seconds.
    const auto idleMs = std::max<std::int64_t>(request.idleTimeout.count(), 1);
    const long idleSeconds = static_cast<long>((idleMs + 999) / 1000);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(idleMs));
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, idleSeconds);

    // A declared length over the cap fails before any byte is read; the write callback enforces
    // the cap for replies of unknown length (and after decompression).
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(request.maximumResponseBytes));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &writeBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &writeHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_USERAGENT,
                     (std::string(program_invocation_short_name) + " libcurl/" +
                      curl_version_info(CURLVERSION_NOW)->version)
                         .c_str());

    curl_slist* list = nullptr;
    for (const auto& [name, value] : request.headers) {
        // "Name;" is curl's spelling of a header sent with an empty value.
        const std::string line = value.empty() ? name + ";" : name + ": " + value;
        curl_slist* const grown = curl_slist_append(list, line.c_str());
        if (grown == nullptr) {
            curl_slist_free_all(list);
            transfer.result.failure = TransferFailure::unknown;
            transfer.result.detail = "out of memory";
            return false;
        }
        list = grown;
    }
    transfer.headerList.reset(list);
    if (list != nullptr) {
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, list);
    }

    const auto& method = request.method;
    if (method == "GET" || method.empty()) {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    } else if (method == "HEAD") {
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    } else {
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
    }
    if (request.body && method != "GET" && method != "HEAD") {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request.body->size()));
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body->data());
    }
    return true;
}

void finishNow(std::unique_ptr<Transfer> transfer) {
    if (transfer->completion) {
        auto completion = std::move(transfer->completion);
        completion(std::move(transfer->result));
    }
}

} // namespace

TransferLoop::TransferLoop() {
    ensureCurlGlobalInit();
    core_ = std::make_shared<TransferLoopCore>();
    thread_ = std::thread([core = core_] { core->run(); });
}

TransferLoop::~TransferLoop() {
    shutdown();
}

void TransferLoop::shutdown() {
    core_->stop();
    if (!thread_.joinable()) {
        return;
    }
    if (thread_.get_id() == std::this_thread::get_id()) {
        thread_.detach(); // the last owner let go from a completion; the loop ends by itself
    } else {
        thread_.join();
    }
}

std::shared_ptr<TransferHandle> TransferLoop::makeHandle() const {
    return std::make_shared<TransferHandle>(TransferHandle::PassKey{}, core_);
}

void TransferLoop::start(const std::shared_ptr<TransferHandle>& handle, TransferRequest request,
                         Completion completion) {
    auto transfer = std::make_unique<Transfer>();
    transfer->handle = handle;
    transfer->request = std::move(request);
    transfer->completion = std::move(completion);
    transfer->easy.reset(curl_easy_init());
    if (!transfer->easy) {
        transfer->result.failure = TransferFailure::unknown;
        transfer->result.detail = "libcurl could not create a transfer";
        transfer->result.effectiveURL = transfer->request.url;
        finishNow(std::move(transfer));
        return;
    }
    if (!configure(*transfer)) {
        transfer->result.effectiveURL = transfer->request.url;
        finishNow(std::move(transfer));
        return;
    }
    core_->submit(std::move(transfer));
}

std::size_t TransferLoop::activeTransferCount() const {
    return core_->activeCount();
}

} // namespace platform::net_detail
