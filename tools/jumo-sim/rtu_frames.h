// Cutting Modbus RTU requests out of the byte stream of a line that several slaves share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace jumo_sim {

uint16_t Crc16(const uint8_t* data, size_t len);

// Length of the request frame at the start of buf (address, function, data, CRC): the length,
// 0 when more bytes are needed to tell, -1 when the function code is not one a master sends.
int RequestLength(const std::vector<uint8_t>& buf);

// Takes every whole frame with a correct CRC off the front of buf into frames; a byte that
// starts no valid frame is dropped (counted in *dropped). Bytes of an unfinished frame stay.
// A function code of unknown layout ends its frame where the line went quiet: once quiet is
// set, bytes that close with a correct CRC are a frame (its slave answers with exception 1).
void CutFrames(std::vector<uint8_t>* buf, std::vector<std::vector<uint8_t>>* frames,
               size_t* dropped, bool quiet);

std::string Hex(const uint8_t* data, size_t len);

}  // namespace jumo_sim
