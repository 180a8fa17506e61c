#include "cleanup/log.h"

#include <algorithm>

#include "platform/exception.h"
#include "platform/paths.h"
#include "platform/raii.h"
#include "platform/win32/win32.h"

namespace cleanup {

const char* const ServicesHeader =
    "Sobre los Servicios ............................................................";
const char* const ProcessesHeader =
    "Sobre los Procesos .............................................................";
const char* const RegistryHeader =
    "Sobre las llaves del registro ...............................................";
const char* const FilesHeader =
    "Ficheros Eliminados .........................................................";
const char* const Separator = " ";

const char* const ClassesRootPrefix = "HKEY_CLASSES_ROOT\\";
const char* const LocalMachinePrefix = "HKEY_LOCAL_MACHINE\\";
const char* const CurrentUserPrefix = "HKEY_CURRENT_USER\\";

namespace {

Outcome Failure(std::string line) { return {std::move(line), true}; }
Outcome Success(std::string line) { return {std::move(line), false}; }
Outcome Silent() { return {}; }

}  // namespace

Outcome ServiceMissingOutcome(const std::string& service) {
  return Failure("  El Servicio " + service + " no existe en el sistema");
}

Outcome ServiceStopOutcome(const std::string& service, int code) {
  const std::string s = "  El Servicio " + service;
  switch (code) {
    case 0: return Success(s + " se detuvo correctamente");
    case 500: return Failure(s + " ya estaba detenido");
    case 501: return Failure(s + " en este momento se est\xE1 iniciando");
    case 502: return Failure(s + " en este momento se est\xE1 deteniendo");
    case 503: return Failure("  El estado de Servicio " + service + " continua pendiente");
    case 504: return Failure(s + " se est\xE1 poniendo en pausa");
    case 505: return Failure(s + " est\xE1 en pausa");
    default: return Silent();
  }
}

Outcome ProcessOutcome(const std::string& p, ProcessResult code) {
  switch (code) {
    case ProcessResult::kTerminated:
      return Success("  El proceso " + p + " se finaliz\xF3 correctamente");
    case ProcessResult::kNotRunning: return Success("  El proceso " + p + " no estaba corriendo");
    case ProcessResult::kOpenForTerminateFailed:
      return Failure("  Insuficientes permisos para finalizar el proceso " + p);
    case ProcessResult::kPsapiNotLoaded:
      return Failure(
          "  No se pudo cargar la librer\xED"
          "a PSAPI.DLL para finalizar el proceso " +
          p);
    case ProcessResult::kVersionUnreadable:
      return Failure("  El proceso " + p + " no se pudo finalizar por razones desconocidas");
    case ProcessResult::kBadName:
      return Failure("  El nombre del proceso " + p + " no es v\xE1lido");
    case ProcessResult::kPsapiExportMissing:
      return Failure("  No se pudo obtener la direcci\xF3n del proceso " + p + " desde PSAPI.DLL");
    case ProcessResult::kListFailed:
      return Failure(
          "  No se pudo obtener la lista de  procesos activos para finalizar el proceso " + p);
    case ProcessResult::kKernel32NotLoaded:
      return Failure(
          "  No se pudo cargar la librer\xED"
          "a KERNEL32.DLL para finalizar el proceso " +
          p);
    case ProcessResult::kToolhelpExportMissing:
      return Failure("  No se pudo obtener la direcci\xF3n del proceso " + p +
                     " desde KERNEL32.DLL");
    case ProcessResult::kSnapshotFailed:
      return Failure("  CreateToolhelp32Snapshot fall\xF3 para el proceso " + p);
    case ProcessResult::kUnnamed:
      return Failure(
          "  No se pudo obtener el nombre de un proceso activo para finalizar el proceso " + p);
    case ProcessResult::kStillRunning:
      return Failure("  El proceso " + p + " segu\xED" "a corriendo " +
                     std::to_string(kEndWaitMs / 1000) + " segundos despu\xE9s de finalizarlo");
    case ProcessResult::kTerminateFailed:
    case ProcessResult::kUnknownPlatform:
      return Failure("  Error desconocido al tratar el proceso " + p);
  }
  return Failure("  Error desconocido al tratar el proceso " + p);  // not a ProcessResult
}

Outcome KeyTreeOutcome(const std::string& rootPrefix, const std::string& key, KeyTreeResult code,
                       bool absenceExpected) {
  const std::string name = rootPrefix + key;
  switch (code) {
    case KeyTreeResult::Deleted:
      return Success("  La llave '" + name + "' Fue elimidada correctamente...OK");
    case KeyTreeResult::NotFound:
      if (absenceExpected) return Silent();
      return Failure("  Error abriendo la llave '" + name + "'. Llave no encontrada");
    case KeyTreeResult::BadKey:
      break;  // an error like any other below
  }
  return Failure("  Error eliminando la llave '" + name +
                 "'. C\xF3"
                 "digo de error " +
                 std::to_string(static_cast<LONG>(code)) + "...FALLO");
}

Outcome ValueOutcome(const std::string& keyDisplay, const std::string& value, ValueResult code) {
  switch (code) {
    case ValueResult::Deleted:
      return Success("  El valor '" + keyDisplay + value + "' Fue elimidado correctamente...OK");
    case ValueResult::NotDeleted:
      return Failure("  Error eliminando el valor '" + keyDisplay + value +
                     "'. Valor no encontrado");
    case ValueResult::KeyNotOpened:
      return Failure("  Error abriendo la llave '" + keyDisplay + "'. Llave no encontrada");
  }
  return Silent();  // not reached: every result has its line
}

std::string DirectoryNotFoundLine(const std::string& directory) {
  return "  Error borrando el directorio '" + directory + "'.  Directorio no encontrado...FALLO";
}

Outcome DirectoryContentsOutcome(const std::string& directory, DirectoryResult code) {
  switch (code) {
    case DirectoryResult::Emptied: return Silent();
    case DirectoryResult::ListingFailed:
      return Failure("  Error borrando el directorio '" + directory +
                     "'. Directorio no encontrado");
    case DirectoryResult::NoFileFound:
      return Failure(
          "  No se encontr\xF3 nungun fichero. El directorio estaba vac\xED"
          "o.");
    case DirectoryResult::FileNotDeleted: return {std::nullopt, true};
  }
  return Silent();  // not reached: every result is named
}

Outcome DirectoryRemovalOutcome(const std::string& directory, bool removed) {
  if (removed)
    return Success("  El directorio '" + directory + "' fue eliminado correctamente...OK");
  return Failure("  Error borrando el directorio '" + directory +
                 "'. El directorio no estaba vac\xED"
                 "o...FALLO");
}

Outcome DriverFileOutcome(const std::string& path, bool deleted) {
  if (deleted) return Success("  " + path + "'...OK");
  return Failure("  " + path + "'...FALLO");
}

namespace {

// A new file at `path` that no other name reaches, open for writing and shared with nobody;
// null when there is none. CREATE_NEW with FILE_FLAG_OPEN_REPARSE_POINT acts on the name
// itself: a mount point or link standing there makes the creation fail instead of leading it
// elsewhere. A file that has another name already (one given to it between its creation and
// this check) is removed again.
qm::unique_file CreateUnlinkedFile(const qm::WString& path) {
  qm::unique_file file(::CreateFileW(qm::FileCallPath(path).c_str(),
                                     GENERIC_WRITE | FILE_READ_ATTRIBUTES, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) return file;
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileInformationByHandle(file.get(), &info) && info.nNumberOfLinks == 1) return file;
  file.reset();  // the name can go only once this unshared handle is closed
  ::DeleteFileW(qm::FileCallPath(path).c_str());
  return file;
}

}  // namespace

void WriteLogLines(const qm::WString& path, const StringList& lines) {
  std::string bytes;
  for (const std::string& line : lines) bytes += line + "\r\n";
  // Deleting removes a file link or one name of a hard-linked file, never what it leads to; a
  // folder or directory link at the name stays, and the creation below then fails.
  ::DeleteFileW(qm::FileCallPath(path).c_str());
  const qm::unique_file file = CreateUnlinkedFile(path);
  if (!file) throw EFCreateError(qm::Narrow(path));
  std::string::size_type written = 0;
  while (written < bytes.size()) {
    DWORD chunk = 0;
    const DWORD ask =
        static_cast<DWORD>(std::min<std::string::size_type>(bytes.size() - written, 1u << 20));
    if (!::WriteFile(file.get(), bytes.data() + written, ask, &chunk, nullptr) || chunk == 0)
      throw Exception("Stream write error");
    written += chunk;
  }
}

}  // namespace cleanup
