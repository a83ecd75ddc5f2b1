/* two_printers: feeds one printer stream to two printers at once, printer a in pieces
 * of 7 bytes and printer b in pieces of 1000, taking turns, and writes their pages in
 * the current folder as a-001.pgm, a-002.pgm, ... and b-001.pgm, ...: binary PGM for
 * gray pages, binary PPM (.ppm) for colour ones.
 *
 *   two_printers <stream file>
 */
#include <stdio.h>
#include <stdlib.h>

#include "tambrix.h"

/* What each printer's pages are written as. */
struct pages {
  char name;   /* 'a' or 'b' */
  int failed;  /* a page could not be written */
};

static void write_page(void *context, const tambrix_page *page) {
  struct pages *pages = context;
  char file_name[32];
  FILE *file;
  unsigned y;
  sprintf(file_name, "%c-%03u.%s", pages->name, page->number, page->channels == 3 ? "ppm" : "pgm");
  file = fopen(file_name, "wb");
  if (file == NULL) {
    perror(file_name);
    pages->failed = 1;
    return;
  }
  fprintf(file, "%s\n%u %u\n255\n", page->channels == 3 ? "P6" : "P5", page->width, page->height);
  for (y = 0; y < page->height; ++y)
    fwrite(page->pixels + y * page->stride, page->channels, page->width, file);
  if (fclose(file) != 0) {
    perror(file_name);
    pages->failed = 1;
  }
}

static int check(tambrix_status status, const char *what) {
  if (status == TAMBRIX_OK) return 1;
  fprintf(stderr, "two_printers: %s: %s\n", what, tambrix_status_text(status));
  return 0;
}

static unsigned char *read_file(const char *name, size_t *length) {
  FILE *file = fopen(name, "rb");
  unsigned char *bytes = NULL;
  long size;
  if (file == NULL) return NULL;
  if (fseek(file, 0, SEEK_END) == 0 && (size = ftell(file)) >= 0 && fseek(file, 0, SEEK_SET) == 0 &&
      (bytes = malloc((size_t)size + 1)) != NULL) {
    *length = fread(bytes, 1, (size_t)size, file);
    if (ferror(file)) {
      free(bytes);
      bytes = NULL;
    }
  }
  fclose(file);
  return bytes;
}

int main(int argc, char **argv) {
  const size_t piece[2] = {7, 1000};
  struct pages pages[2] = {{'a', 0}, {'b', 0}};
  tambrix_printer *printer[2] = {NULL, NULL};
  tambrix_settings settings;
  size_t length = 0, fed[2] = {0, 0};
  unsigned char *stream;
  int ok = 1, i;

  if (argc != 2) {
    fprintf(stderr, "usage: two_printers <stream file>\n");
    return 2;
  }
  stream = read_file(argv[1], &length);
  if (stream == NULL) {
    perror(argv[1]);
    return 1;
  }
  tambrix_default_settings(&settings);
  for (i = 0; i < 2 && ok; ++i) ok = check(tambrix_create(&settings, write_page, &pages[i], &printer[i]), "create");
  /* Turn by turn, a piece to each printer that has bytes left. */
  while (ok && (fed[0] < length || fed[1] < length))
    for (i = 0; i < 2 && ok; ++i) {
      size_t n = length - fed[i] < piece[i] ? length - fed[i] : piece[i];
      if (n == 0) continue;
      ok = check(tambrix_feed(printer[i], stream + fed[i], n), "feed");
      fed[i] += n;
    }
  for (i = 0; i < 2 && ok; ++i) ok = check(tambrix_end_job(printer[i]), "end of job");
  for (i = 0; i < 2; ++i) {
    tambrix_destroy(printer[i]);
    if (pages[i].failed) ok = 0;
  }
  free(stream);
  return ok ? 0 : 1;
}
