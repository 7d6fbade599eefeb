// The expression language: value expressions and conditions over
// name/value lists.
//
// Everything is text. Variables are entries of a ParamList, looked up by
// name ignoring case; numbers are read from text and written back as text
// into one shared result area of kExprResultArea bytes (one per thread). A
// text returned from the area is valid only until the next evaluation on the
// same thread: use or copy it at once.
//
// Value expressions (expr_value): a name, or arithmetic with the operators
// ( + - * / ^ % evaluated without precedence. A chain of literals runs left
// to right (10-3-2 is 5); an operand that is a name evaluates everything to
// its right first (a-b-c is a - (b - c)).
//
// Conditions (expr_condition): comparisons (expr_compare) such as
// "q == 1", "name eq 'abc'", "/Q5 has 'x'", "q ?" joined strictly left to
// right by & | ^ (doubled && and || work too) with parentheses. Results are
// 1 (true), 0 (false) or -1 (not a well-formed condition); callers decide
// what -1 means.
#pragma once

#include <cstddef>

#include "core/limits.hpp"
#include "core/plist.hpp"

namespace fwk {

// --- Numbers ---------------------------------------------------------------

// Reads a number the way every operand is read: leading whitespace, an
// optional sign, digits, an optional point and digits, an optional exponent.
// Reading stops at the first character that does not fit; a text that does
// not start like a number (or an absent text) reads as 0. *end (when given)
// receives the position after the number (text itself when none was read).
double expr_number(const char* text, const char** end = nullptr);

// Writes v into the result area: "%d" when v equals its truncation to a
// 32-bit integer, otherwise "%f" (six decimals). A number whose "%f" text
// would not fit the area is written in exponent form ("%e") instead.
const char* expr_format_number(double v);

// Writes v with `decimals` digits after the point ("%.<decimals>f") into
// the result area. Negative decimals count as 0. When the text would not
// fit, the decimals are reduced until it does; a number too large even
// without decimals is written in exponent form.
const char* expr_format_fixed(double v, long decimals);

// The current text of the result area (the last number written).
const char* expr_result_text();

// --- Value expressions -----------------------------------------------------

// The value of a value expression. An absent text gives ""; an absent list
// gives the text itself. The text is changed in place: a zero byte is
// written at its first space. The result is the value string of a list
// entry (not a copy), the result area, or "".
//  - A plain name (no operator character) gives its value, or "" when
//    missing or empty. A plain number such as 5 is a name here and gives "".
//  - Otherwise the text is arithmetic, formatted into the result area.
//  - Division and modulo by zero give 0; a negative base with a fractional
//    exponent gives 0; powers are computed through logarithms; 0^0 is 1
//    and zero to a negative power gives 0.
const char* expr_value(const ParamList* vars, char* text);

// expr_value of a copy of the first n characters of text; "" when n < 1 or
// the text is absent. The text itself is not changed.
const char* expr_value_n(const ParamList* vars, const char* text, long n);

// --- Conditions ------------------------------------------------------------

// One comparison: left operand, operator, right operand. Operators are
// found by scanning the text (see expr_compare.cpp for the table and its
// order): gte has >= <= lte > gt < lt =~ !~ s eq === == = != ne, and a
// truth test at "?" or ":". A leading "!" negates; a leading "/" (or the
// operator "has") compares every variable whose name is the left operand or
// begins with it followed by "_". Operands written with a leading "$" are
// looked up in `second` (when given).
//
// Returns 1, 0 or -1 (no operator, operator at the start, an unclosed
// quote, an unknown operator made of ~=<>!). With an absent variables list
// the result is 0. *end_out (when given) receives the position where the
// right operand ends (the text's start when the comparison failed early).
//
// An undefined right operand ('', "", an empty operand, or the word
// undefined or a beginning of it) stands for a missing value: under the
// text comparisons (== = eq != ne ===) a left value that is empty or absent
// reads as "undefined", so "x == ''" is true and "x != ''" false for an
// empty x.
int expr_compare(const char* text, const ParamList* vars, const ParamList* second,
                 const char** end_out);

// A whole condition: terms (comparisons or parenthesised conditions) joined
// by & | ^ strictly left to right; every term is evaluated. An empty text
// gives 1; a term giving -1 makes the whole condition -1.
int expr_condition(const char* text, const ParamList* vars, const ParamList* second);

}  // namespace fwk
