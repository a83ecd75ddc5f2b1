/* tambrix.h: the printer inside another program.
 *
 * A printer is fed the bytes of its stream in pieces of any size and hands every
 * finished page to a callback as 8-bit pixels, with the character cells printed on
 * it. It is the same printing core the tambrix program runs: the same stream gives
 * the same pixels.
 *
 * Thread safety: each printer is a record of its own, sharing nothing with any other,
 * so two printers may be fed from two threads at once. One printer must not be used
 * from two threads at once. The page callback runs on the thread that called
 * tambrix_feed or tambrix_end_job, before that call returns.
 *
 * No function throws or aborts on bad input: each says what went wrong in its
 * tambrix_status.
 *
 * Link with: cc app.c $(pkg-config --cflags --libs tambrix)
 */
#ifndef TAMBRIX_H
#define TAMBRIX_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum tambrix_status {
  TAMBRIX_OK = 0,
  TAMBRIX_ERROR_INVALID_ARGUMENT = 1, /* a NULL pointer, or a value out of its range */
  TAMBRIX_ERROR_UNKNOWN_MODEL = 2,    /* no printer of that model name */
  TAMBRIX_ERROR_NO_FONT = 3,          /* the character ROM or font file cannot be read */
  TAMBRIX_ERROR_NO_MEMORY = 4,        /* memory ran out; the printer may be destroyed */
  TAMBRIX_ERROR_INTERNAL = 5          /* anything else that went wrong inside */
} tambrix_status;

/* The printer's settings, as the program's options set them. */
typedef struct tambrix_settings {
  const char *model;        /* "mps801" or "escp" (the 9-pin ESC/P printer); NULL for "mps801" */
  unsigned page_height;     /* pixels of each page at power-on: for "mps801" 21 .. 12600
                               (126 an inch), 1512 by default; for "escp" 40 .. 24000 (240
                               an inch), 2640 for its 11 inches. The ESC/P printer's own
                               commands may change it from page to page. */
  int raw;                  /* nonzero: the stream is raw, as a program sent it (as
                               -raw); 0: a printer output file written in text mode.
                               MPS801 only. */
  int business;             /* nonzero: the business set is the default set (as -business).
                               MPS801 only. */
  unsigned debug_marks;     /* nonzero: column ticks and cell lines in colour (as -debug 2) */
  unsigned long half_life;  /* strikes that halve a pin's darkness, up to 4294967295;
                               0: no ribbon wear (as -halflife) */
  const char *rom_file;     /* the character ROM image or font file to read; NULL: look
                               for PRINTER/mps801.bin, then PRINTER/mps801.fake in the
                               working folder, then the font installed with the program
                               (for "escp": PRINTER/escp.fake, then the installed one).
                               None read is TAMBRIX_ERROR_NO_FONT, where the program
                               would print invisible text. */
} tambrix_settings;

/* Fills settings with the defaults: mps801, 1512-pixel pages, a text-mode stream,
 * the graphic set, no marks, no wear, the ROM searched for. */
void tambrix_default_settings(tambrix_settings *settings);

/* One printed character cell: its box in page pixels and the character it shows. */
typedef struct tambrix_cell {
  unsigned x, y, width, height;
  unsigned long codepoint; /* Unicode; 0 when the glyph shows no character */
} tambrix_cell;

/* A finished page. Its pointers are valid during the callback only. */
typedef struct tambrix_page {
  unsigned number;              /* 1, 2, ... within the job */
  unsigned width, height;       /* pixels */
  double dpi_x, dpi_y;          /* pixels an inch: 120 across, 126 down (mps801); 240 both ways (escp) */
  unsigned channels;            /* 1: gray; 3: red, green, blue (debug marks) */
  size_t stride;                /* bytes from one row to the next */
  const unsigned char *pixels;  /* rows top to bottom, 0 black .. 255 white */
  const tambrix_cell *cells;    /* the cells in the order they were printed */
  size_t cell_count;
} tambrix_page;

typedef void (*tambrix_page_callback)(void *context, const tambrix_page *page);

typedef struct tambrix_printer tambrix_printer;

/* Makes a printer in its power-on state; on_page gets each finished page with
 * context. On failure *printer is NULL. */
tambrix_status tambrix_create(const tambrix_settings *settings, tambrix_page_callback on_page, void *context,
                              tambrix_printer **printer);

/* Feeds the next bytes of the stream; a command split between two pieces acts as if
 * it had come whole. Full pages go to the callback as they are ejected. */
tambrix_status tambrix_feed(tambrix_printer *printer, const void *bytes, size_t length);

/* Ends the job: a command cut short does nothing, the last page with ink goes to the
 * callback, and the printer is back in its power-on state for the next job, keeping
 * its strike counts; page numbers start again at 1. */
tambrix_status tambrix_end_job(tambrix_printer *printer);

/* The pins of the head: the number of strike counts. */
size_t tambrix_pin_count(const tambrix_printer *printer);

/* Reads or restores the dots struck by each pin, top pin first, count being the pin
 * count; counts are 0 .. 4294967295 (with a 64-bit long) and shade the print as the
 * ribbon wears when half_life is set. */
tambrix_status tambrix_get_strikes(const tambrix_printer *printer, long *counts, size_t count);
tambrix_status tambrix_set_strikes(tambrix_printer *printer, const long *counts, size_t count);

/* Frees the printer; NULL is allowed. A page not yet ended is dropped. */
void tambrix_destroy(tambrix_printer *printer);

/* The status in words, such as "unknown printer model". */
const char *tambrix_status_text(tambrix_status status);

#ifdef __cplusplus
}
#endif

#endif /* TAMBRIX_H */
