// The campaign's figures as markdown: one row per family and fault
// condition, and the totals per family.
#pragma once

#include "CampaignSession.h"

#include <string>
#include <vector>

namespace campaign {

std::string ConditionTable(const std::vector<SessionResult>& results);
std::string FamilyTable(const std::vector<SessionResult>& results);

} // namespace campaign
