#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mossbarrow {

// The root addresses of the three catalogue services: the defaults the build was configured
// with, each replaced by its environment variable when that holds a usable address. A value
// that is not one is refused with a message, and the default stays.
class ServiceAddresses {
public:
    static constexpr std::string_view clawHubVariable = "MOSSBARROW_CLAWHUB_URL";
    static constexpr std::string_view mcpVariable = "MOSSBARROW_MCP_URL";
    static constexpr std::string_view ostrelVariable = "MOSSBARROW_OSTREL_URL";

    // A variable's value; nullopt when it is not set.
    using Lookup = std::function<std::optional<std::string>(std::string_view name)>;

    // The addresses for the variables `lookup` gives. An empty value counts as not set.
    static ServiceAddresses resolve(const Lookup& lookup);
    // The process's addresses, read from its environment once, on first use.
    static const ServiceAddresses& current();

    // Whether `text` can serve as a root address: an http or https URL with a host (and port),
    // and at most a "/" after it. A path would be silently replaced by every request's own.
    static bool isUsableAddress(std::string_view text);

    [[nodiscard]] const std::string& clawHub() const { return clawHub_; }
    [[nodiscard]] const std::string& mcp() const { return mcp_; }
    [[nodiscard]] const std::string& ostrel() const { return ostrel_; }
    // One line for each refused value: the variable, the value and the default kept.
    [[nodiscard]] const std::vector<std::string>& problems() const { return problems_; }

private:
    ServiceAddresses() = default;

    std::string clawHub_;
    std::string mcp_;
    std::string ostrel_;
    std::vector<std::string> problems_;
};

// Writes the problems of ServiceAddresses::current() to standard error, one line each. Called
// at start-up, so that a mistyped address is seen at once rather than as requests that quietly
// go to the default.
void reportInvalidServiceAddresses();

} // namespace mossbarrow
