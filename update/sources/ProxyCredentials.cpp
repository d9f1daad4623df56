#include "update/sources/ProxyCredentials.h"

#include <map>
#include <mutex>
#include <utility>

#include "update/sources/logic/HttpRules.h"

namespace {

struct Given {
    std::wstring user;
    std::wstring password;
};

// The catalogue asks on the driver's thread; the download's sessions read on the worker's.
std::mutex& Lock() {
    static std::mutex mutex;
    return mutex;
}

std::map<std::wstring, Given>& Store() {
    static std::map<std::wstring, Given> store;
    return store;
}

}  // namespace

void RememberProxyCredentials(const std::wstring& proxy, const std::wstring& user, const std::wstring& password) {
    if (proxy.empty()) return;
    std::lock_guard<std::mutex> lock(Lock());
    Store()[ProxyKey(proxy)] = Given{user, password};
}

bool ProxyCredentialsFor(const std::wstring& proxy, std::wstring& user, std::wstring& password) {
    if (proxy.empty()) return false;
    std::lock_guard<std::mutex> lock(Lock());
    const auto found = Store().find(ProxyKey(proxy));
    if (found == Store().end() || found->second.user.empty()) return false;
    user = found->second.user;
    password = found->second.password;
    return true;
}
