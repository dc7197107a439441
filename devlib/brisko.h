#ifndef BRISKO_H
#define BRISKO_H
/*
 * Brisko: the device library of the Pt100 measuring units.
 *
 * Two builds share these five exports: libBrisko.so (real units over USB) and
 * libBriskoSim.so (simulated units, configured by the environment variable
 * BRISKO_SIM; see README.md). Nothing else is exported.
 *
 * Units and IDs. A unit reports an ID from 0 to 3; the application addresses
 * it by that ID. A ratiometric unit reporting 1 answers to ID 2 and one
 * reporting 2 answers to ID 1; calibrated units answer to their own ID.
 *
 * Threads. All five functions are called from ONE thread of the caller (the
 * application's user-interface thread), one call at a time. The library's
 * own thread only handles units being plugged in and out; that may happen
 * at any moment, also during a call. Every call may block: a transfer waits
 * up to 30 s for a unit that does not answer, and the first Open of a
 * session waits up to 2 s for its unit to appear.
 *
 * Result codes (int16_t; every export except Close returns one):
 *   0 success
 *   1 ID outside 0 to 3                      (sampling exports)
 *   2 the USB session could not be started  (Open)
 *   3 the unit is already open              (Open)
 *   4 too many units connected              (reserved, never returned)
 *   5 the unit could not be opened          (reserved, never returned)
 *   6 no unit with this ID is present       (Open)
 *   7 the unit has not been opened          (sampling exports)
 *   8 a parameter is out of range (for Open: the ID)
 *   9 USB transfer failed, or the reply was shorter than its layout
 *                                            (sampling exports)
 * The sampling exports check in this order: ID (1), parameters (8), opened
 * (7), transfers (9). On any failure nothing is written to the caller's
 * memory.
 *
 * Arguments shared by the sampling exports:
 *   wiring       0 = 2-wire, 1 = 3-wire, 2 = 4-wire sensor connection
 *   temperature  0 = deliver resistance in ohms (0 to 391),
 *                1 = deliver Pt100 temperature in degrees Celsius
 */

#include <stdint.h>

#if defined(BRISKO_BUILDING_LIBRARY)
#define BRISKO_EXPORT __attribute__((visibility("default")))
#else
#define BRISKO_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Begins the use of unit `id` (0 to 3). The first Open of a process (or the
 * first after the last Close) starts the USB session and waits up to 2 s for
 * the unit to appear; during those first 2 s every Open waits for the rest of
 * that window. Returns 0, 2 (session could not be started; the next Open
 * tries again), 3 (already open), 6 (no such unit) or 8 (id outside 0..3).
 * Writes nothing. */
BRISKO_EXPORT int16_t Quenzel_Device_Open(int16_t id);

/* Ends the use of unit `id`. Does nothing when the unit is not open. The
 * Close that leaves no present unit open ends the USB session. */
BRISKO_EXPORT void Quenzel_Device_Close(int16_t id);

/* Takes one measurement at once and writes it to *value (ohms or degrees
 * Celsius). Returns 0, 1, 7, 8 (wiring > 2 or temperature > 1) or 9. */
BRISKO_EXPORT int16_t Quenzel_Single_Sample(int16_t id, double* value, uint8_t wiring,
                                            uint8_t temperature);

/* Makes the unit sample on its own every rate x 10 ms (rate 1 to 10000) and
 * keep the samples for Quenzel_Get_Datas. Returns 0, 1, 7, 8 (rate out of
 * range) or 9. Writes nothing. */
BRISKO_EXPORT int16_t Quenzel_Start_Sample(int16_t id, int16_t rate);

/* Fetches the samples the unit has kept. On entry *count is the number
 * requested (0 to 128); on success *count is the number delivered (at most
 * 128, and never more than the reply really holds) and values[i] and
 * statuses[i] (the unit's status byte of sample i) are written for i below
 * *count. The arrays must hold 128 entries. Returns 0, 1, 7, 8 (*count > 128,
 * wiring > 2 or temperature > 1) or 9; on failure *count is unchanged. */
BRISKO_EXPORT int16_t Quenzel_Get_Datas(int16_t id, double* values, uint8_t* statuses,
                                        uint8_t* count, uint8_t wiring, uint8_t temperature);

#ifdef __cplusplus
}
#endif

#endif /* BRISKO_H */
