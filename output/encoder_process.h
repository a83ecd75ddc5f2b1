// Encoder processes. ImageMagick 6 encodes one PNG at a time in a process: its PNG coder
// holds a lock of its own through the whole of every encode, so more encoder threads in
// one process gain little. Each encoder thread therefore has a process of its own that
// does the encoding: the thread puts the page's pixels in memory shared with it, and
// gets the PNG's bytes back over a socket. The bytes are those the thread would have
// made itself.
//
// They can go once the image library in use encodes PNG files on several threads of
// one process at once, its PNG coder holding no process-wide lock through an encode:
// then each encoder thread encodes on a page image of its own, and page_output calls
// encodeRasterPng where it now calls encodeInProcess.
#pragma once

#include <string>

#include "base/page_raster.h"

// Starts count encoder processes for pages of width x height pixels, numbered from 0.
// Forks, so call it while this process runs no other thread. Slots whose process
// could not be started have none.
void startEncoderProcesses(unsigned count, unsigned width, unsigned height);

// Has the page raster encoded as PNG by the encoder process of the slot, and puts the
// bytes in png. An image-library exception the process met is raised here, as
// describeException reported it there. False when the slot has no process, or it has
// just ended or broke off (it has none from then on): the caller encodes the page
// itself. Each slot is to be used by one thread at a time.
bool encodeInProcess(unsigned slot, const PageRaster &raster, std::string &png);

// Starts the processes as startEncoderProcesses does and keeps them from run to run:
// the runs that follow, of pages of the same size, use them, and stopping a run's
// encoders leaves them going, until endEncoderProcesses.
void keepEncoderProcesses(unsigned count, unsigned width, unsigned height);

// Ends the encoder processes of a run and waits for them; kept processes stay.
void stopEncoderProcesses();

// Ends every encoder process, kept or not, and waits for them.
void endEncoderProcesses();
