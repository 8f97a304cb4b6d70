/*
 * The binary interface between the binding (TPDF) and the PDF core library.
 *
 * Both sides include this header: the binding to know what it passes through,
 * the library (and the test fake) to know what it fills in. Everything here is
 * plain C so that any library offering these exports can be loaded.
 *
 * Ownership: records are owned by the caller. Pointers the library stores in a
 * record (kerning array, kerning texts, font name) point into library memory
 * and stay valid until the next call that refills the same record, or until the
 * instance is deleted.
 */
#ifndef CORVELLA_DYNAPDF_ABI_H
#define CORVELLA_DYNAPDF_ABI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define PDF_CALL __stdcall
#define PDF_EXPORT __declspec(dllexport)
#else
#define PDF_CALL
#define PDF_EXPORT __attribute__((visibility("default")))
#endif

typedef uint16_t PDF_WCHAR;

/* A PDF matrix: (x, y) maps to (x*a + y*c + e, x*b + y*d + f). */
typedef struct TPDFMatrix {
  double a, b, c, d, e, f;
} TPDFMatrix;

/* One piece of a text record: the characters between two TJ adjustments. */
typedef struct TPDFKerning {
  float Advance;         /* shift before the piece, in text space; text moves by -Advance */
  const PDF_WCHAR* Text; /* UTF-16 code units of the piece, not zero-terminated */
  int32_t Length;        /* number of code units in Text */
  float Width;           /* advance of the piece's characters in text space */
} TPDFKerning;

/*
 * Colour spaces and colours are opaque tokens of the library: a record's values
 * handed back to pdfSetFillColorSpace / pdfSetFillColor reproduce the original
 * colour exactly (device, ICC-based, separation, DeviceN). The small fixed
 * values below are the device spaces; others are library handles.
 */
enum {
  PDF_CS_DEVICE_GRAY = 0,
  PDF_CS_DEVICE_RGB = 1,
  PDF_CS_DEVICE_CMYK = 2
};

/* The content-parsing record filled by pdfGetPageText, one per text-showing operator. */
typedef struct TPDFStack {
  TPDFMatrix ctm;            /* current transformation matrix */
  TPDFMatrix tm;             /* text matrix, text rise folded in; font size not included */
  double FontSize;           /* Tf size */
  int32_t DrawMode;          /* text render mode, 0..7 */
  int32_t FillColorSpace;    /* opaque token, see above */
  uint32_t FillColor;        /* opaque token, see above */
  int32_t StrokeColorSpace;
  uint32_t StrokeColor;
  int32_t TextIndicator;     /* non-zero when the record holds text */
  TPDFKerning* Kerning;      /* the pieces, library memory */
  int32_t KerningCount;
  float TextWidth;           /* advance of the whole record in text space */
  void* Font;                /* font handle: identity of the record's font */
  float SpaceWidth;          /* width of a space of the font in text space */
  int32_t DeleteKerningAt;   /* set by the caller before pdfReplacePageTextA; <= 0: whole record */
  void* Internal;            /* the library's parsing state; do not touch */
} TPDFStack;

/* Font descriptor flags (PDF standard) that callers read. */
enum {
  PDF_FF_FIXED_PITCH = 0x1,
  PDF_FF_ITALIC = 0x40,
  PDF_FF_FORCE_BOLD = 0x40000
};

/* Font type codes of TPDFFontInfo.FontType. */
enum {
  PDF_FT_UNKNOWN = 0,
  PDF_FT_TRUETYPE = 1,
  PDF_FT_TYPE0 = 2,
  PDF_FT_TYPE1 = 3, /* Type1 and Type1-style (CFF, MMType1): ForceBold counts */
  PDF_FT_TYPE3 = 4
};

/* The font record filled by fntGetFont. */
typedef struct TPDFFontInfo {
  int32_t Flags;         /* font descriptor flags */
  const char* FontName;  /* BaseFont as written (subset prefix included); may be null */
  int32_t FontType;      /* PDF_FT_* */
  float ItalicAngle;
} TPDFFontInfo;

/* Error type flags passed to the error callback. */
enum {
  PDF_E_FATAL = 0x00000001,
  PDF_E_WARNING = 0x00000002,
  PDF_E_FILE = 0x00000010,
  PDF_E_SYNTAX = 0x00000020,
  PDF_E_FONT = 0x00000040,
  PDF_E_VALUE = 0x00000080,
  PDF_E_NOTICE = 0x02000000 /* may be ignored, for instance a font substitution */
};

typedef int32_t(PDF_CALL* TErrorProc)(const void* Data, int32_t ErrCode, const char* ErrMessage,
                                      int32_t ErrType);

/* Signatures of the exports, instance handle first (all but fntGetFont). */
typedef void* PPDF;
typedef PPDF(PDF_CALL* pfn_pdfNewPDF)(void);
typedef int32_t(PDF_CALL* pfn_pdfDeletePDF)(PPDF);
typedef int32_t(PDF_CALL* pfn_pdfChangeFontSize)(PPDF, double);
typedef int32_t(PDF_CALL* pfn_pdfChangeLinkAnnot)(PPDF, int32_t, const char*);
typedef int32_t(PDF_CALL* pfn_pdfCloseFile)(PPDF);
typedef int32_t(PDF_CALL* pfn_pdfCloseImportFile)(PPDF);
typedef int32_t(PDF_CALL* pfn_pdfCreateNewPDFA)(PPDF, const char*);
typedef int32_t(PDF_CALL* pfn_pdfEditPage)(PPDF, int32_t);
typedef int32_t(PDF_CALL* pfn_pdfEditTemplate)(PPDF, int32_t);
typedef int32_t(PDF_CALL* pfn_pdfEditTemplate2)(PPDF, int32_t);
typedef int32_t(PDF_CALL* pfn_pdfEndPage)(PPDF);
typedef int32_t(PDF_CALL* pfn_pdfEndTemplate)(PPDF);
typedef int32_t(PDF_CALL* pfn_pdfFlushPageContent)(PPDF, TPDFStack*);
typedef int32_t(PDF_CALL* pfn_fntGetFont)(void* Font, TPDFFontInfo*);
typedef int32_t(PDF_CALL* pfn_pdfGetPageText)(PPDF, TPDFStack*);
typedef int32_t(PDF_CALL* pfn_pdfGetTemplCount)(PPDF);
typedef int32_t(PDF_CALL* pfn_pdfGetTemplHandle)(PPDF);
typedef double(PDF_CALL* pfn_pdfGetTextWidthExW)(PPDF, const PDF_WCHAR*, int32_t);
typedef int32_t(PDF_CALL* pfn_pdfHaveOpenDoc)(PPDF);
typedef int32_t(PDF_CALL* pfn_pdfImportPDFFile)(PPDF, int32_t, double, double);
typedef int32_t(PDF_CALL* pfn_pdfInitStack)(PPDF, TPDFStack*);
typedef int32_t(PDF_CALL* pfn_pdfOpenImportFileA)(PPDF, const char*, int32_t, const char*);
typedef int32_t(PDF_CALL* pfn_pdfOpenOutputFileA)(PPDF, const char*);
typedef int32_t(PDF_CALL* pfn_pdfReplacePageTextA)(PPDF, const char*, TPDFStack*);
typedef int32_t(PDF_CALL* pfn_pdfSetFillColor)(PPDF, uint32_t);
typedef int32_t(PDF_CALL* pfn_pdfSetFillColorSpace)(PPDF, int32_t);
typedef int32_t(PDF_CALL* pfn_pdfSetFontA)(PPDF, const char*, int32_t, double, int32_t, int32_t);
typedef int32_t(PDF_CALL* pfn_pdfSetFontExA)(PPDF, const char*, int32_t, double, int32_t, int32_t);
typedef int32_t(PDF_CALL* pfn_pdfSetImportFlags)(PPDF, uint32_t);
typedef int32_t(PDF_CALL* pfn_pdfSetOnErrorProc)(PPDF, const void*, TErrorProc);
typedef int32_t(PDF_CALL* pfn_pdfSetStrokeColor)(PPDF, uint32_t);
typedef int32_t(PDF_CALL* pfn_pdfSetStrokeColorSpace)(PPDF, int32_t);
typedef int32_t(PDF_CALL* pfn_pdfSetTextDrawMode)(PPDF, int32_t);
typedef int32_t(PDF_CALL* pfn_pdfWriteTextMatrixExW)(PPDF, const TPDFMatrix*, const PDF_WCHAR*,
                                                     int32_t);

#ifdef __cplusplus
}
#endif

#endif
