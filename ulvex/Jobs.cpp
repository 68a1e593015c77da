#include "Jobs.h"

#include "Arguments.h"
#include "image/ImageFile.h"

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

namespace ulvex {

namespace {

using nlohmann::json;

// Why an entry is not a board, or "" when it is one.
std::string TakeEntry(const json& entry, BoardJob& job, const std::string& directory) {
    if (!entry.is_object()) {
        return "is not an object";
    }
    for (const auto& [key, value] : entry.items()) {
        if (key == "port" || key == "target" || key == "image") {
            if (!value.is_string() && !(key == "target" && value.is_number_unsigned())) {
                return "\"" + key + "\" is not a string";
            }
            if (value.is_string() && value.get<std::string>().empty()) {
                return "\"" + key + "\" is empty";
            }
        } else if (key == "baud") {
            if (!value.is_number_unsigned() || value.get<uint64_t>() == 0 ||
                value.get<uint64_t>() > 0xFFFFFFFFu) {
                return "\"baud\" is not a positive whole number";
            }
            job.baud = value.get<uint32_t>();
        } else if (key == "bus") {
            if (value != "duplex" && value != "single") {
                return "\"bus\" is neither \"duplex\" nor \"single\"";
            }
            job.bus = value.get<std::string>();
        } else if (key == "format") {
            if (!value.is_string() || !FormatNamed(value.get<std::string>())) {
                return "\"format\" is none of \"hex\", \"elf\", \"srec\" and \"bin\"";
            }
            job.format = value.get<std::string>();
        } else if (key == "base") {
            // Hexadecimal text, as --base takes it, or a number.
            AddressArgument base{0, "no address"};
            if (value.is_string()) {
                base = ParseAddress(value.get<std::string>());
            } else if (value.is_number_unsigned() && value.get<uint64_t>() <= 0xFFFFFFFFu) {
                base = {value.get<uint32_t>(), ""};
            }
            if (!base.error.empty()) {
                return "\"base\" is not an address (hexadecimal text or a number)";
            }
            job.base = base.value;
        } else if (key == "dtr" || key == "rts") {
            if (!value.is_boolean()) {
                return "\"" + key + "\" is not true or false";
            }
            (key == "dtr" ? job.dtr : job.rts) = value.get<bool>();
        } else {
            return "has an unknown key \"" + key + "\"";
        }
    }
    for (const char* key : {"port", "target", "image"}) {
        if (!entry.contains(key)) {
            return std::string("has no \"") + key + "\"";
        }
    }
    if (const std::string why = CheckImageChoice(job.format, job.base); !why.empty()) {
        return "gives " + why;
    }
    job.port = entry["port"].get<std::string>();
    const json& target = entry["target"];
    job.target =
        target.is_string() ? target.get<std::string>() : std::to_string(target.get<uint64_t>());
    const std::filesystem::path image = entry["image"].get<std::string>();
    job.image = image.is_absolute() || directory.empty()
                    ? image.string()
                    : (std::filesystem::path(directory) / image).string();
    return "";
}

} // namespace

JobsFile ParseJobs(std::string_view text, const BoardJob& defaults, const std::string& directory) {
    JobsFile result;
    const json document = json::parse(text, nullptr, false);
    if (document.is_discarded()) {
        result.error = "is not JSON";
        return result;
    }
    const json* entries = &document;
    if (document.is_object() && document.contains("boards") && document.size() == 1) {
        entries = &document["boards"];
    }
    if (!entries->is_array() || entries->empty()) {
        result.error = "is neither a non-empty array nor {\"boards\": [...]}";
        return result;
    }
    std::set<std::string> ports;
    for (size_t i = 0; i < entries->size(); ++i) {
        BoardJob job = defaults;
        std::string why = TakeEntry((*entries)[i], job, directory);
        if (why.empty() && !ports.insert(job.port).second) {
            why = "names the port " + job.port + " a second time";
        }
        if (!why.empty()) {
            result.boards.clear();
            result.error = "entry " + std::to_string(i + 1) + " " + why;
            return result;
        }
        result.boards.push_back(std::move(job));
    }
    return result;
}

JobsFile ReadJobs(const std::string& path, const BoardJob& defaults) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {{}, "cannot be read"};
    }
    std::ostringstream text;
    text << in.rdbuf();
    const std::string directory = std::filesystem::path(path).parent_path().string();
    return ParseJobs(text.str(), defaults, directory);
}

} // namespace ulvex
