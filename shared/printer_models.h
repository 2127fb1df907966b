// What the printer's model text (its reply to the version query) tells about
// the printer: model class, two-sided printing, laminator, model family.  The
// rendering driver and the configuration module each have their own class
// table; both are here so that they are kept side by side.
#pragma once

#include <cstdint>

namespace card {

// Model class (ModelClass) as the rendering driver derives it
// (kModelClassNone when nothing matches).
uint8_t rendererModelClass(const char *modelText);

// Model class as the configuration module derives it.
uint8_t configModelClass(const char *modelText);

// The rendering driver's rule: the model prints both sides of a card.
bool modelPrintsBothSides(const char *modelText);

// Model classes that carry a laminator.
bool isLaminatorClass(unsigned modelClass);

// The configuration module's model tests.
bool isSingleSidedModel(const char *modelText);
bool isDualSidedModel(const char *modelText);
bool isLX3Model(const char *modelText);
bool lacksThirdTrack(const char *modelText);

// "CA1" for the single-sided family, "CA3" for every other printer.
const char *modelFamily(const char *modelText);

}  // namespace card
