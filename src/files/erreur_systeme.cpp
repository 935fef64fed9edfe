#include "files/erreur_systeme.h"

#include <cerrno>

namespace quelvane {

std::string TexteErreurSysteme(int erreur) {
  switch (erreur) {
    case 0: return "erreur inconnue";
    case ENOENT: return "fichier ou dossier introuvable";
    case EACCES:
    case EPERM: return "permission refusée";
    case ENOSPC: return "plus de place sur le disque";
    case EDQUOT: return "quota de disque dépassé";
    case EFBIG: return "fichier trop grand";
    case EROFS: return "système de fichiers en lecture seule";
    case EISDIR: return "c'est un dossier";
    case ENOTDIR: return "un élément du chemin n'est pas un dossier";
    case ELOOP: return "trop de liens symboliques (boucle de liens)";
    case ENAMETOOLONG: return "nom de fichier trop long";
    case EEXIST: return "le fichier existe déjà";
    case EBUSY: return "fichier occupé";
    case EIO: return "erreur d'entrée-sortie";
    case EMFILE:
    case ENFILE: return "trop de fichiers ouverts";
    case ENOMEM: return "mémoire insuffisante";
    case EXDEV: return "le fichier est sur un autre système de fichiers";
    case ETXTBSY: return "fichier en cours d'exécution";
    case EINVAL: return "argument invalide";
    case EPIPE: return "tube fermé par le lecteur";
    case ENXIO: return "périphérique ou tube sans lecteur";
    default: return "erreur système " + std::to_string(erreur);
  }
}

}  // namespace quelvane
