#pragma once

#include <stop_token>

namespace larkfold::platform {

// The cooperative cancel mark shared by all long work: cancelling only marks it,
// the work checks it at its own points.
class CancelToken {
public:
    CancelToken() = default; // never cancelled
    explicit CancelToken(std::stop_token token) : m_token(std::move(token)) {}

    bool isCancelled() const { return m_token.stop_requested(); }
    const std::stop_token& stopToken() const { return m_token; }

private:
    std::stop_token m_token;
};

class CancelSource {
public:
    CancelToken token() const { return CancelToken(m_source.get_token()); }
    void cancel() { m_source.request_stop(); }
    bool isCancelled() const { return m_source.stop_requested(); }

private:
    std::stop_source m_source;
};

} // namespace larkfold::platform
