#include "shared/printer_models.h"

#include <cstring>
#include <initializer_list>

#include "shared/job_settings.h"

namespace card {

namespace {

bool contains(const char *text, const char *code) { return text && std::strstr(text, code) != nullptr; }

struct ClassRule {
  const char *code;
  uint8_t modelClass;
};

// First match wins, in this order.
const ClassRule kRendererClasses[] = {{"QA1", kModelClassQA1}, {"QA2", kModelClassQA2}, {"CX1", kModelClassCX1},
                                      {"QA3", kModelClassQA3}, {"CA1", kModelClassQA3}, {"QA5", kModelClassQA5},
                                      {"QA6", kModelClassQA5}, {"LX2", kModelClassLX2}, {"LX3", kModelClassLX3},
                                      {"CA3", kModelClassQA5}};
// The configuration module puts "CA1" (and "CA2") in the CX1 class and knows
// no laminator classes.
const ClassRule kConfigClasses[] = {{"QA1", kModelClassQA1}, {"QA2", kModelClassQA2}, {"CX1", kModelClassCX1},
                                    {"CA1", kModelClassCX1}, {"QA3", kModelClassQA3}, {"QA5", kModelClassQA5},
                                    {"QA6", kModelClassQA5}, {"CA2", kModelClassCX1}, {"CA3", kModelClassQA5}};

template <size_t N>
uint8_t firstMatch(const ClassRule (&rules)[N], const char *text) {
  for (const auto &r : rules)
    if (contains(text, r.code)) return r.modelClass;
  return kModelClassNone;
}

bool containsAny(const char *text, std::initializer_list<const char *> codes) {
  for (const char *c : codes)
    if (contains(text, c)) return true;
  return false;
}

}  // namespace

uint8_t rendererModelClass(const char *modelText) { return firstMatch(kRendererClasses, modelText); }
uint8_t configModelClass(const char *modelText) { return firstMatch(kConfigClasses, modelText); }

bool modelPrintsBothSides(const char *modelText) { return containsAny(modelText, {"QA5", "QA6", "LX2", "LX3", "CA3"}); }

bool isLaminatorClass(unsigned modelClass) { return modelClass == kModelClassLX2 || modelClass == kModelClassLX3; }

bool isSingleSidedModel(const char *modelText) { return containsAny(modelText, {"QA4", "CA1", "CA2"}); }
bool isDualSidedModel(const char *modelText) { return containsAny(modelText, {"QA5", "QA6", "CA3"}); }
bool isLX3Model(const char *modelText) { return contains(modelText, "LX3"); }
bool lacksThirdTrack(const char *modelText) { return containsAny(modelText, {"QA2", "QA1"}); }

const char *modelFamily(const char *modelText) { return isSingleSidedModel(modelText) ? "CA1" : "CA3"; }

}  // namespace card
