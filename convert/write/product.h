#pragma once

// Facts about the product that appear in what it writes and shows: the header files name the
// product's page in their first line, and the about box links to the same page.
namespace Quillon {

inline constexpr char productName[] = "Quillon";
inline constexpr char productVersion[] = "1.0";
inline constexpr char webAddress[] = "https://quillon.dev";

} // namespace Quillon
