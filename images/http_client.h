// One HTTP or HTTPS GET whose body comes back as text.
// Thread safety: one client is used by one thread at a time.
#pragma once

#include <string>

namespace korvane {

class CHttpClient {
public:
    CHttpClient();
    virtual ~CHttpClient();
    CHttpClient(const CHttpClient&) = delete;
    CHttpClient& operator=(const CHttpClient&) = delete;

    // 0 the request was made (response holds the body, empty when sending failed);
    // 1 not http(s), or a failure other than a time-out; 2 a time-out.
    int Request(const std::string& url, std::string body, std::string& response);
    void Clear();

private:
    void* pSession = nullptr;
    void* pConnection = nullptr;
    void* pFile = nullptr;
};

}  // namespace korvane
