#include "tools/cardprint/sample_card.h"

namespace cardprint {

namespace {

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBand = RGB(0, 84, 150);
constexpr COLORREF kTitle = RGB(200, 24, 36);

// Black text and bars are pure black, so that the driver can give them to
// the resin-black panel; the title is coloured and prints with the dyes.
const SampleFront kLandscapeFront = {
    {0, 0, 1024, 100},
    kBand,
    {40, 20, 60, FW_BOLD, kWhite, TEXT("IDENTITY CARD")},
    {48, 136, 348, 516},
    {396, 140, 76, FW_BOLD, kBlack, TEXT("JOHN SAMPLE")},
    {396, 236, 50, FW_NORMAL, kTitle, TEXT("Card Systems Engineer")},
    {396, 304, 42, FW_NORMAL, kBlack, TEXT("Employee no. 1234")},
    {396, 388},
    110,
    4,
    10,
    "JS1234",
    {396, 504, 36, FW_NORMAL, kBlack, TEXT("JS1234")},
    {48, 566},
    30,
};

const SampleFront kPortraitFront = {
    {0, 0, 640, 100},
    kBand,
    {40, 20, 60, FW_BOLD, kWhite, TEXT("IDENTITY CARD")},
    {170, 124, 470, 504},
    {40, 524, 68, FW_BOLD, kBlack, TEXT("JOHN SAMPLE")},
    {40, 604, 46, FW_NORMAL, kTitle, TEXT("Card Systems Engineer")},
    {40, 664, 40, FW_NORMAL, kBlack, TEXT("Employee no. 1234")},
    {90, 736},
    110,
    4,
    10,
    "JS1234",
    {90, 852, 36, FW_NORMAL, kBlack, TEXT("JS1234")},
    {40, 930},
    30,
};

const SampleBack kLandscapeBack = {
    {0, 40, 1024, 200},
    {{48, 240, 38, FW_NORMAL, kBlack, TEXT("This card remains the property of the issuer.")},
     {48, 290, 38, FW_NORMAL, kBlack, TEXT("If found, please return it to:")},
     {48, 340, 38, FW_NORMAL, kBlack, TEXT("Card Office, 1 Sample Street, Sampletown")},
     {48, 390, 38, FW_NORMAL, kBlack, TEXT("Valid to 12/2030")}},
    {48, 540},
    {620, 540},
    {48, 552, 30, FW_NORMAL, kBlack, TEXT("Signature")},
    {860, 430, 976, 546},
    kBand,
};

const SampleBack kPortraitBack = {
    {0, 40, 640, 200},
    {{40, 240, 34, FW_NORMAL, kBlack, TEXT("This card remains the property")},
     {40, 284, 34, FW_NORMAL, kBlack, TEXT("of the issuer. If found, return to:")},
     {40, 328, 34, FW_NORMAL, kBlack, TEXT("Card Office, 1 Sample Street")},
     {40, 372, 34, FW_NORMAL, kBlack, TEXT("Valid to 12/2030")}},
    {40, 860},
    {600, 860},
    {40, 872, 30, FW_NORMAL, kBlack, TEXT("Signature")},
    {262, 520, 378, 636},
    kBand,
};

}  // namespace

const SampleFront &sampleFront(bool portrait) { return portrait ? kPortraitFront : kLandscapeFront; }
const SampleBack &sampleBack(bool portrait) { return portrait ? kPortraitBack : kLandscapeBack; }

}  // namespace cardprint
