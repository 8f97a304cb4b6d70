/*
 * A scriptable stand-in for the PDF core library, for tests.
 *
 * libfakepdf.so exports every operation of dynapdf_abi.h, so it is loaded through the real
 * binding exactly like the core library. Instead of reading PDF it plays back text records that
 * a test scripted, and it records what the caller did: every call in a text log, and the
 * writes, removals and flushes as structured entries.
 *
 * How a test reaches this control API
 * -----------------------------------
 * A test never links the fake. It constructs TPDF with the absolute path of the fake
 * (FAKEPDF_PATH, a compile definition of the CMake target `fakepdf_control`) and dlopen()s the
 * same path itself: the dynamic loader hands out the one loaded copy, so the binding and the
 * test see the same state. fake_control.h wraps this in a small RAII class. While the test
 * holds its handle the fake stays loaded; all of its state goes when the last handle goes.
 *
 * Contents
 * --------
 * Content -1 is the page (whichever page pdfEditPage opened); a template is its handle (>= 0).
 * Each content has a list of scripted text records and a list of template uses (in order; the
 * same template may be used more than once). A template handle is known once it has records or
 * uses, or is used by some content.
 *
 * Behaviour of the exports (one library instance per pdfNewPDF)
 * -------------------------------------------------------------
 * - pdfEditPage(n >= 1) opens the page when no page is open; pdfEndPage closes the page and
 *   every template still open above it (returns 0 when no page was open).
 * - pdfEditTemplate(i) opens the i-th template used by the open content; pdfEditTemplate2(h)
 *   opens the known template h. Open contents form a stack; pdfEndTemplate closes the top
 *   template. pdfGetTemplHandle gives the open template's handle (-1 when the page is on top);
 *   pdfGetTemplCount the number of template uses of the open content.
 * - pdfInitStack(stack) restarts the open content and resets the record: identity matrices,
 *   every number 0, no pieces, no font. pdfGetPageText delivers the next scripted record of the
 *   open content (returns 1, or the result given to fake_add_record_ex) or returns 0 at the end
 *   and leaves the record as it is. Without a pdfInitStack on the open content it returns 0.
 *   Delivered pieces and texts live in instance memory until the next delivery or InitStack.
 * - pdfReplacePageTextA(text, stack) records a removal: the open content, the index (from 0
 *   after pdfInitStack) of the record last delivered, and stack->DeleteKerningAt. It returns 0
 *   and records nothing when no record was delivered since pdfInitStack.
 * - pdfWriteTextMatrixExW records a write with the state current at that moment.
 * - pdfGetTextWidthExW returns the sum of the character widths: a per-character width from
 *   fake_set_char_width_for, else the default width (fake_set_char_width, initially 10.0).
 *   The font and size do not change it.
 * - pdfSetFontExA / pdfSetFontA make the family and style current (and the size given) and
 *   return a non-negative font index; for a family refused by fake_refuse_font (exact, with
 *   case) they return -1 and change nothing. pdfChangeFontSize sets the size.
 * - fntGetFont copies the record given to fake_set_font_info for that handle (the name stays
 *   valid until fake_reset) and returns 1; for an unknown handle it returns 0.
 * - pdfCreateNewPDFA opens a document, pdfHaveOpenDoc tells whether one is open, pdfCloseFile
 *   closes it. The other document operations only log and return 1 (0 for a null string).
 * - Any call with a handle that is not a live instance returns the failure value and counts in
 *   fake_bad_instance_calls().
 *
 * Failure values (fake_fail): pdfNewPDF null; pdfOpenImportFileA, pdfSetFontA, pdfSetFontExA,
 * pdfImportPDFFile, pdfChangeLinkAnnot, pdfCreateNewPDFA, pdfGetTemplCount and
 * pdfGetTemplHandle -1; pdfGetTextWidthExW 0.0; every other export 0. A failing call is logged
 * and has no other effect.
 *
 * The log
 * -------
 * One line per export call, each ending in '\n': the export name and the arguments after the
 * instance handle, separated by single spaces. Integers in decimal (unsigned ones too), floats
 * with %g, 8-bit strings quoted ("" for an empty string, null for a null pointer; '"' and '\'
 * escaped with '\', other bytes below 0x20 as \xNN), 16-bit texts as quoted UTF-8 of the given
 * length (null for a null pointer, nonnull when the length is negative), a matrix as
 * [a b c d e f], other pointers as null or nonnull. Examples:
 *   pdfSetFontExA "Arial" 2 10 -1 39
 *   pdfWriteTextMatrixExW [1 0 0 1 32 0] "new" 3
 *   pdfReplacePageTextA "" nonnull
 *
 * Nothing here is thread-safe; the library is driven from one thread.
 */
#ifndef CORVELLA_FAKEPDF_H
#define CORVELLA_FAKEPDF_H

#include <stdint.h>

#include "dynapdf_abi.h"

#ifdef __cplusplus
extern "C" {
#endif

#define FAKEPDF_API PDF_EXPORT

/* One text written with pdfWriteTextMatrixExW, with the state current at that moment. */
typedef struct FakeWrite {
  int32_t Content; /* -1 page, else template handle */
  TPDFMatrix Matrix;
  const char* Text;   /* UTF-8; pointers stay valid until fake_reset */
  int32_t Length;     /* UTF-16 code units passed */
  const char* Family; /* family set last by pdfSetFontExA / pdfSetFontA, "" when none */
  int32_t Style;
  double FontSize; /* size set last by pdfChangeFontSize or a font setting */
  int32_t FillColorSpace;
  uint32_t FillColor;
  int32_t StrokeColorSpace;
  uint32_t StrokeColor;
  int32_t DrawMode;
} FakeWrite;

/* ---- Scripting ---------------------------------------------------------------------------- */

/* Forgets scripts, font infos, refusals, widths, failures, forced results, the log and every
 * recorded entry. Live instances stay live (a binding may still hold them). */
FAKEPDF_API void fake_reset(void);

/* Appends a deep copy of a text record (pieces and their texts included) to a content.
 * Returns 1, or 0 for an inconsistent record (negative counts, null arrays with a count). */
FAKEPDF_API int32_t fake_add_record(int32_t content, const TPDFStack* record);
/* The same, with the value pdfGetPageText returns when it delivers this record. */
FAKEPDF_API int32_t fake_add_record_ex(int32_t content, const TPDFStack* record,
                                       int32_t getPageTextResult);
/* Records that `content` uses the template `templateHandle` (>= 0). Returns 1, or 0. */
FAKEPDF_API int32_t fake_add_template_use(int32_t content, int32_t templateHandle);

FAKEPDF_API void fake_set_char_width(double width);
FAKEPDF_API void fake_set_char_width_for(PDF_WCHAR character, double width);
FAKEPDF_API void fake_refuse_font(const char* family);
/* A null info forgets the handle. */
FAKEPDF_API void fake_set_font_info(void* font, const TPDFFontInfo* info);

/* The export returns its failure value from now on. */
FAKEPDF_API void fake_fail(const char* exportName);
/* The next `successes` calls behave normally, every later one fails. */
FAKEPDF_API void fake_fail_after(const char* exportName, int32_t successes);
/* The export does its normal work and, when that succeeds, returns `result` instead of its own
 * value (integer exports only). */
FAKEPDF_API void fake_set_result(const char* exportName, int32_t result);

/* Calls the error callback of every live instance that has one; returns how many were called. */
FAKEPDF_API int32_t fake_trigger_error(int32_t code, const char* message, int32_t type);

/* ---- Observation -------------------------------------------------------------------------- */

/* The whole log; valid until the next call into the fake. */
FAKEPDF_API const char* fake_log(void);
FAKEPDF_API void fake_clear_log(void);
/* Calls of one export since fake_reset, failed ones included. */
FAKEPDF_API int32_t fake_call_count(const char* exportName);

FAKEPDF_API int32_t fake_write_count(void);
/* Returns 1 and fills *out, or 0 when the index is out of range. */
FAKEPDF_API int32_t fake_get_write(int32_t index, FakeWrite* out);

FAKEPDF_API int32_t fake_removal_count(void);
FAKEPDF_API int32_t fake_get_removal(int32_t index, int32_t* content, int32_t* recordIndex,
                                     int32_t* deleteKerningAt);

FAKEPDF_API int32_t fake_flush_count(void);
FAKEPDF_API int32_t fake_get_flush(int32_t index, int32_t* content);

/* Calls of fntGetFont (the same as fake_call_count("fntGetFont")). */
FAKEPDF_API int32_t fake_get_font_count(void);

/* Instances created and not deleted, in this loaded copy of the fake. */
FAKEPDF_API int32_t fake_live_instances(void);
FAKEPDF_API int32_t fake_bad_instance_calls(void);
/* Of the newest live instance: the content on top (-1 page, else a template handle, INT32_MIN
 * when nothing is open) and the number of open contents (page included). */
FAKEPDF_API int32_t fake_open_content(void);
FAKEPDF_API int32_t fake_open_depth(void);

#ifdef __cplusplus
}
#endif

#endif
