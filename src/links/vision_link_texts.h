// Status texts of the PCOM link to the V-120, used letter for letter by the link, the
// operator screens and the tests.
#pragma once

namespace liron {

// Line-level texts: recorded with ErrMessage, so they also count in ErrorCounter.
inline constexpr char kVisionPortBusy[] = "Нельзя менять порт при активном подключении!";
inline constexpr char kVisionSpeedBusy[] =
    "Нельзя менять скорость обмена при активном подключении.";
inline constexpr char kVisionAlreadyActive[] = "Не могу переключиться при активном соединении!";
inline constexpr char kVisionSendFailed[] = "Не удалось послать блок информации.";
inline constexpr char kVisionReplyTooLong[] = "Неожиданно длинный ответ.";
inline constexpr char kVisionNoReply[] = "Не удалось принять блок информации.";
inline constexpr char kVisionLockBusy[] = "Захват ресурса.";
// Refusals of requests that cannot be framed: a request line over 99 characters, an address,
// count, unit number or 16-bit value that does not fit its hexadecimal field.
inline constexpr char kVisionRequestTooLong[] = "Слишком длинный запрос.";
inline constexpr char kVisionBadArgument[] = "Недопустимый адрес, число элементов или значение.";
inline constexpr char kVisionBadUnit[] = "Недопустимый номер контроллера.";

// Success texts.
inline constexpr char kVisionSendOk[] = "Send() OK";
inline constexpr char kVisionReceiveOk[] = "Recive() OK";

// Reply-format texts: set as Status only, ErrorCounter is left alone.
inline constexpr char kVisionAnswerTooShort[] = "Answer too short.";
inline constexpr char kVisionStx1Missing[] = "STX1 is missing in answer.";
inline constexpr char kVisionCrcError[] = "CRC check error.";
// A well-formed reply whose unit number or command echo is not the request's: a late reply to
// an earlier request, or another unit's.
inline constexpr char kVisionForeignReply[] = "Ответ не соответствует запросу.";
inline constexpr char kVisionIntConvertError[] = "Int convert error.";

}  // namespace liron
