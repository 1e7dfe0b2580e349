#pragma once
// The status report sends the KEST amount twice: plainly and with a byte offset that
// depends on the local time. The client scrambles with this function, and the mining
// service checks a report by scrambling the plain amount again.
#include <string>
#include <string_view>

// a = hour mod 3, b = minute mod 5. Byte i moves up by b + a*i from minute 30 on, by
// a + b*i before it, modulo 256. The result ends where a byte comes out as 0, and the
// amount text ends at its first NUL (it is a C text on the client's side).
std::string ScrambleAmount(std::string_view amountText, int hour, int minute);
