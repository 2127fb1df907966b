#include "shared/printer_models.h"

#include <cstring>
#include <initializer_list>

namespace card {

namespace {

bool contains(const char *text, const char *code) { return text && std::strstr(text, code) != nullptr; }

struct ClassRule {
  const char *code;
  uint8_t modelClass;
};

// First match wins, in this order.
const ClassRule kRendererClasses[] = {{"QA1", 1}, {"QA2", 2}, {"CX1", 3}, {"QA3", 4}, {"CA1", 4}, {"QA5", 5},
                                      {"QA6", 5}, {"LX2", 6}, {"LX3", 7}, {"CA3", 5}};
const ClassRule kConfigClasses[] = {{"QA1", 1}, {"QA2", 2}, {"CX1", 3}, {"CA1", 3}, {"QA3", 4},
                                    {"QA5", 5}, {"QA6", 5}, {"CA2", 3}, {"CA3", 5}};

template <size_t N>
uint8_t firstMatch(const ClassRule (&rules)[N], const char *text) {
  for (const auto &r : rules)
    if (contains(text, r.code)) return r.modelClass;
  return 0;
}

bool containsAny(const char *text, std::initializer_list<const char *> codes) {
  for (const char *c : codes)
    if (contains(text, c)) return true;
  return false;
}

}  // namespace

uint8_t rendererModelClass(const char *modelText) { return firstMatch(kRendererClasses, modelText); }
uint8_t configModelClass(const char *modelText) { return firstMatch(kConfigClasses, modelText); }

bool modelPrintsBothSides(const char *modelText) {
  return containsAny(modelText, {"QA5", "QA6", "LX2", "LX3", "CA3"});
}

bool isLaminatorClass(unsigned modelClass) { return modelClass == 6 || modelClass == 7; }

bool isSingleSidedModel(const char *modelText) { return containsAny(modelText, {"QA4", "CA1", "CA2"}); }
bool isDualSidedModel(const char *modelText) { return containsAny(modelText, {"QA5", "QA6", "CA3"}); }
bool isLX3Model(const char *modelText) { return contains(modelText, "LX3"); }
bool lacksThirdTrack(const char *modelText) { return containsAny(modelText, {"QA2", "QA1"}); }

const char *modelFamily(const char *modelText) { return isSingleSidedModel(modelText) ? "CA1" : "CA3"; }

}  // namespace card
