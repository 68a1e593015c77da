#include "SessionRecorder.h"

#include "ulvex.h"

#include <condition_variable>
#include <map>
#include <mutex>

namespace campaign {

namespace {

std::mutex mutex;
std::condition_variable stopped;
std::map<uint16_t, std::vector<Indication>> sessions;
size_t strays = 0;

void ULVEX_CALL OnIndication(IndicationRecord* record) {
    Indication i;
    i.code = record->code;
    i.long0 = record->param.longs[0];
    i.long1 = record->param.longs[1];
    i.at = std::chrono::steady_clock::now();
    SessionRecorder::Instance().Add(record->sessionid, i);
}

bool HasStop(const std::vector<Indication>& indications) {
    for (const Indication& i : indications) {
        if (i.code == STOP_PROGRAM_IND) {
            return true;
        }
    }
    return false;
}

} // namespace

SessionRecorder::SessionRecorder() {
    SetupCallbackFunction(OnIndication);
}

SessionRecorder& SessionRecorder::Instance() {
    static SessionRecorder recorder;
    return recorder;
}

void SessionRecorder::Expect(uint16_t sessionid) {
    std::lock_guard lock(mutex);
    sessions[sessionid].clear();
}

void SessionRecorder::Add(uint16_t sessionid, const Indication& indication) {
    {
        std::lock_guard lock(mutex);
        auto it = sessions.find(sessionid);
        if (it == sessions.end()) {
            ++strays;
            return;
        }
        it->second.push_back(indication);
    }
    if (indication.code == STOP_PROGRAM_IND) {
        stopped.notify_all();
    }
}

std::optional<std::chrono::steady_clock::time_point>
SessionRecorder::WaitForStop(uint16_t sessionid, std::chrono::steady_clock::time_point until) {
    std::unique_lock lock(mutex);
    if (!stopped.wait_until(lock, until, [&] { return HasStop(sessions[sessionid]); })) {
        return std::nullopt;
    }
    for (const Indication& i : sessions[sessionid]) {
        if (i.code == STOP_PROGRAM_IND) {
            return i.at;
        }
    }
    return std::nullopt;
}

std::vector<Indication> SessionRecorder::Of(uint16_t sessionid) const {
    std::lock_guard lock(mutex);
    auto it = sessions.find(sessionid);
    return it == sessions.end() ? std::vector<Indication>{} : it->second;
}

size_t SessionRecorder::Strays() const {
    std::lock_guard lock(mutex);
    return strays;
}

} // namespace campaign
