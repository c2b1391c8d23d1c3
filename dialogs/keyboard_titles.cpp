// Captions for the on-screen keyboard window: one is drawn at random each time it opens.
#include "dialogs/dialogs.h"

const char* const keyboardTitles[] = {
    // Steinway & Sons grands and uprights
    "Steinway Model D", "Steinway Model B", "Steinway Model O",
    "Steinway Model M", "Steinway Model S", "Steinway Model K-52",

    // Other concert and salon grands
    "Bosendorfer Imperial", "Bosendorfer 280VC", "Bosendorfer 214VC",
    "Bechstein D 282", "Bechstein C 234", "Bluthner Model 1",
    "Fazioli F308", "Fazioli F278", "Fazioli F228", "Steingraeber E-272",
    "Petrof P 284 Mistral", "Estonia L274", "Mason & Hamlin Model BB",
    "Baldwin SD-10",

    // Yamaha and Kawai acoustics
    "Yamaha CFX", "Yamaha C7X", "Yamaha C3X", "Yamaha U1",
    "Shigeru Kawai SK-EX", "Kawai GX-7",

    // Early pianos and fortepianos
    "Cristofori Piano 1720", "Anton Walter Fortepiano",
    "Conrad Graf Fortepiano", "Broadwood Grand 1817", "Erard Grand Piano",

    // Harpsichords, virginals and clavichords
    "Ruckers Double Harpsichord", "Ruckers Virginal",
    "Taskin Harpsichord 1769", "Kirckman Double Harpsichord",
    "Shudi Double Harpsichord", "Pleyel Landowska Harpsichord",
    "Neupert Bach Harpsichord", "Zuckermann Z-Box",
    "Dowd French Double", "Baldwin Electric Harpsichord",
    "Silbermann Clavichord", "Dolmetsch Clavichord",

    // Celestas and struck-bar keyboards
    "Mustel Celesta", "Schiedmayer Studio Celesta",
    "Thomas Machell Dulcitone", "Mustel Typophone",

    // Rhodes electric pianos
    "Fender Rhodes Mark I", "Fender Rhodes Mark II", "Rhodes Mark V",
    "Fender Rhodes Suitcase 73", "Fender Rhodes Stage 73",
    "Fender Rhodes Stage 88", "Fender Rhodes Piano Bass", "Rhodes Chroma",

    // Wurlitzer electronic pianos
    "Wurlitzer 200A", "Wurlitzer 200", "Wurlitzer 140B", "Wurlitzer 120",
    "Wurlitzer 270 Butterfly",

    // Hohner keyboards, accordions and melodicas
    "Hohner Clavinet D6", "Hohner Clavinet C", "Hohner Clavinet E7",
    "Hohner Clavinet Duo", "Hohner Pianet T", "Hohner Pianet N",
    "Hohner Cembalet", "Hohner Melodica Piano 26",
    "Hohner Melodica Piano 36", "Hohner Airboard 37",
    "Hohner Morino VI M", "Hohner Atlantic IV",

    // Other electromechanical and tape keyboards
    "RMI Electra-Piano", "RMI Rock-Si-Chord", "Yamaha CP80", "Yamaha CP70",
    "Mellotron M400", "Mellotron MkII", "Chamberlin Music Master 600",
    "Mattel Optigan",

    // Hammond organs and tonewheel keyboards
    "Hammond B-3", "Hammond C-3", "Hammond A-100", "Hammond M-3",
    "Hammond L-100", "Hammond RT-3", "Hammond Model A", "Hammond BV",
    "Hammond Novachord", "Hammond Solovox", "Hammond XK-3",
    "Hammond XK-5", "Hammond SK1", "Hammond B-3mk2",

    // Combo, home and reed organs
    "Vox Continental", "Vox Super Continental", "Vox Jaguar",
    "Farfisa Compact", "Farfisa Compact Duo", "Farfisa Mini Compact",
    "Farfisa VIP 233", "Gibson G-101", "Lowrey TBO-1 Berkshire",
    "Philips Philicorda", "Magnus Chord Organ", "Estey Parlor Organ",

    // Early electronic keyboards
    "Selmer Clavioline", "Jennings Univox", "Ondes Martenot",
    "Georges Jenny Ondioline",

    // Moog
    "Moog Minimoog Model D", "Moog Minimoog Voyager", "Moog Micromoog",
    "Moog Multimoog", "Moog Polymoog", "Moog Memorymoog", "Moog Prodigy",
    "Moog Rogue", "Moog Source", "Moog Sub 37", "Moog Little Phatty",
    "Moog Grandmother", "Moog Matriarch", "Moog One",

    // ARP
    "ARP 2600", "ARP Odyssey", "ARP Axxe", "ARP Omni", "ARP Pro Soloist",
    "ARP Quadra", "ARP String Ensemble",

    // Sequential and Dave Smith Instruments
    "Sequential Prophet-5", "Sequential Prophet-10", "Sequential Pro-One",
    "Sequential Prophet-600", "Sequential Prophet T8",
    "Sequential Prophet VS", "Sequential Six-Trak", "Sequential Prophet-6",
    "Sequential Prophet Rev2", "Sequential OB-6", "Dave Smith Prophet 08",

    // Oberheim
    "Oberheim OB-X", "Oberheim OB-Xa", "Oberheim OB-8",
    "Oberheim Four Voice", "Oberheim Matrix-12", "Oberheim OB-X8",

    // Roland synthesizers
    "Roland Jupiter-8", "Roland Jupiter-6", "Roland Jupiter-4",
    "Roland Jupiter-X", "Roland Juno-6", "Roland Juno-60",
    "Roland Juno-106", "Roland Alpha Juno-2", "Roland Juno-DS",
    "Roland JX-3P", "Roland JX-8P", "Roland JX-10", "Roland D-50",
    "Roland JD-800", "Roland JV-1000", "Roland XP-80", "Roland Fantom-G8",
    "Roland JP-8000", "Roland JD-XA", "Roland SH-101", "Roland SH-2",
    "Roland System-100", "Roland VP-330", "Roland Gaia SH-01",

    // Roland pianos, organs and accordions
    "Roland RD-1000", "Roland RD-2000", "Roland FP-30", "Roland HP-704",
    "Roland VK-8", "Roland V-Combo VR-760", "Roland FR-8x V-Accordion",

    // Korg
    "Korg MS-20", "Korg MS-10", "Korg miniKorg 700", "Korg PS-3300",
    "Korg Lambda", "Korg Trident", "Korg Polysix", "Korg Mono/Poly",
    "Korg Poly-61", "Korg Poly-800", "Korg DW-8000", "Korg M1",
    "Korg T1", "Korg 01/W", "Korg Wavestation", "Korg Prophecy",
    "Korg Z1", "Korg Trinity", "Korg Triton", "Korg Karma",
    "Korg MS2000", "Korg microKORG", "Korg Oasys", "Korg Kronos",
    "Korg Minilogue", "Korg SV-1",

    // Yamaha synthesizers and organs
    "Yamaha DX7", "Yamaha DX7II", "Yamaha DX5", "Yamaha DX1",
    "Yamaha DX21", "Yamaha DX100", "Yamaha GX-1", "Yamaha CS-80",
    "Yamaha CS-60", "Yamaha CS-50", "Yamaha CS-15", "Yamaha CS-01",
    "Yamaha SY77", "Yamaha SY99", "Yamaha EX5", "Yamaha AN1x",
    "Yamaha Motif XS8", "Yamaha Motif XF8", "Yamaha Montage 8",
    "Yamaha Reface DX", "Yamaha YC-45D", "Yamaha Electone Stagea",

    // Yamaha stage, digital and home keyboards
    "Yamaha CP4 Stage", "Yamaha CP88", "Yamaha Clavinova CVP-809",
    "Yamaha Clavinova CLP-785", "Yamaha AvantGrand N3X", "Yamaha P-125",
    "Yamaha Genos", "Yamaha Pianica P-37D",

    // Kawai electronic
    "Kawai K1", "Kawai K5", "Kawai SX-240", "Kawai MP11SE", "Kawai CA99",

    // Casio
    "Casio VL-Tone VL-1", "Casio Casiotone 201", "Casio SK-1",
    "Casio CZ-101", "Casio CZ-1000", "Casio CZ-1", "Casio VZ-1",
    "Casio FZ-1", "Casio XW-P1", "Casio Privia PX-5S",
    "Casio Celviano AP-470",

    // Ensoniq
    "Ensoniq Mirage", "Ensoniq ESQ-1", "Ensoniq SQ-80", "Ensoniq VFX",
    "Ensoniq SD-1", "Ensoniq TS-10",

    // Samplers and computer instruments
    "E-mu Emulator", "E-mu Emulator II", "E-mu Emax", "Fairlight CMI",
    "Fairlight CMI Series III", "NED Synclavier II", "Kurzweil K250",
    "Kurzweil K2000", "Kurzweil PC3",

    // Wavetable and virtual analog
    "PPG Wave 2.2", "PPG Wave 2.3", "Waldorf Wave", "Waldorf Q",
    "Waldorf Quantum", "Access Virus KB", "Novation Supernova",
    "Novation Summit",

    // Clavia Nord
    "Nord Lead", "Nord Lead 2", "Nord Lead 3", "Nord Electro 2",
    "Nord Stage 3", "Nord Piano 5", "Nord C2D", "Nord Wave",

    // String machines and European synthesizers
    "ARP Solina String Ensemble", "Eminent 310 Unique",
    "Logan String Melody", "Crumar Performer", "Crumar Roadrunner",
    "Crumar Multiman", "Crumar Bit One", "Elka Synthex",
    "Elka Rhapsody 610", "Siel Opera 6", "Jen SX-1000", "Oxford OSCar",
    "EDP Wasp", "Formanta Polivoks",

    // Newer makers
    "Alesis Andromeda A6", "Alesis Ion", "Akai AX60",
    "Arturia MiniBrute", "Arturia MatrixBrute", "Arturia PolyBrute",
    "Behringer DeepMind 12", "Modal Argon8", "ASM Hydrasynth",
    "Elektron Analog Keys", "Studiologic Sledge", "Dexibell Vivo S7",

    // Accordions and melodicas from other makers
    "Scandalli Super VI", "Weltmeister Supita", "Weltmeister Stella",
    "Cordovox", "Suzuki Melodion M-37C", "Suzuki Melodion MX-32D",
    "Suzuki Hammond 44", "Suzuki Hammond PRO-44H",
};

const int KEYBOARD_TITLE_COUNT = sizeof keyboardTitles / sizeof keyboardTitles[0];
