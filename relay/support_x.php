<?php
// Support relay of the K-ROVA service utility.
//
// Two copies of the utility meet here, the end user's (user=client) and the
// technician's (user=support). Each request
//
//     <session path>/support_x.php?user=client|support&data=<kind digit>[$<0..255>...]&time=<digits>
//
// leaves the sender's message (the data value) for the other side and is
// answered with status 200 and at most one message of the other side:
//
//     <body>CR LF<message></body>
//
// Sessions. The path in front of support_x.php names the session: the plain
// script (http://host/support_x.php) is one shared session for a trial; each
// code (http://host/s/7Q4K-2X9F/support_x.php) is a private pair of queues.
// A code is 8 to 32 characters of Crockford's base 32 (digits and capitals
// without I, L, O and U), read case-blind with dashes ignored and O, I, L
// taken as 0, 1, 1, so a code read out over the phone still finds its session.
// Unknown paths get 404.
//
// Opening. A session with a code exists only once the technician's side
// opened it: the first request of user=support with a new code creates it.
// A user=client request with a code that has no session (never opened, or
// swept) gets status 404 with "No support session with this code" and
// stores nothing; a client request never creates or brings back a session
// folder, not even when a sweep removes it while the request waits for its
// lock. The trial session is opened by whichever side comes first.
//
// Delivery. Each side has a queue of messages waiting for the other side.
// One-shot messages (settings request 1, settings 3, chat 4, stop 5) are never
// replaced or dropped by a later message; periodic ones (the support side's
// state request 0, the client's state 2) only matter in their latest form, so a
// new one replaces the sender's undelivered older one. Each request gets one
// message of the other side, each message is delivered exactly once, and the
// one-shots arrive in the order they were sent. When one-shots and a periodic
// message wait together, the oldest one-shot goes first: it is what somebody
// waits for (the answer to a settings request, new settings, a chat line),
// while the periodic message only says how things are now, loses nothing by
// waiting a poll and is replaced by a fresher one meanwhile anyway; sent
// first, it would hold every one-shot back by one poll. A queue keeps at most MAX_QUEUED
// messages and MAX_QUEUED_BYTES bytes; past that the oldest periodic message
// goes, and a one-shot that still does not fit is refused with 503, which the
// sender's program shows as a failed exchange, instead of being lost. Messages
// older than the age limit are dropped unread. All work on a session happens
// under that session's exclusive lock, so simultaneous requests never deliver
// a message twice.
//
// Checks. A request that is not well-formed (a value outside 0..255, a kind
// its sender never sends, more values than its kind carries: a state 280, a
// settings record 540, a chat line 255, a request or stop none) gets status
// 400 and changes nothing. The mailbox
// directory must belong to the user the relay runs as, have mode 0700 and not
// be a symbolic link; otherwise every request gets 500 and nothing is touched.
//
// Bounds. Nobody can fill the server through the relay: each session stores
// at most 2 x MAX_QUEUED_BYTES, and a new session is refused with 503 ("Relay
// full") while KROVA_RELAY_MAX_SESSIONS sessions live or one more would let
// them store more than KROVA_RELAY_MAX_BYTES together. One address (the
// connection's, REMOTE_ADDR; a forwarding header anybody can write is not
// read) opens at most KROVA_RELAY_NEW_SESSIONS_PER_MINUTE sessions with codes
// in any 60 seconds; past that a new code gets 429 with Retry-After (the
// whole seconds until its oldest openings have left the window, 1 to 60) and
// nothing is created, while the address's sessions that exist go on. The
// trial session counts toward the bounds, not toward an address's openings.
// All of this is checked and updated under the relay's one exclusive lock
// (sessions/.lock), in the same hold as the new session's folder is made, so
// that simultaneous new codes never pass a bound together. A request of a
// session that exists never takes that lock. A session whose messages have
// all expired and that saw no request for the session time to live (default
// five minutes) is swept; the technician's next request with its code opens
// it again.
//
// Storage, below the mailbox directory: sessions/<session>/state holds a
// session's queues as JSON and is also its lock; it is written in place under
// that lock (a new file for every request would cost an inode made and one
// freed each time). sessions/.lock holds the number of session folders
// (counted by every sweep and whenever it is missing, raised by each new
// session); sessions/.new/<hash of an address> the address's openings of the
// last minute; sessions/.swept marks the last sweep. Files are created
// exclusively, and one that exists is opened only as the plain file lstat
// saw, never through a link. The time value only makes every request URL
// unique, so that no cache on the way answers it.
//
// Install: see the README (php -S with router.php; Apache or nginx with a
// rewrite rule; behind a reverse proxy, the web server's real-IP module so
// that REMOTE_ADDR is the customer's). Settings, from the environment or the
// web server's configuration (fastcgi_param, SetEnv), all optional:
//   KROVA_RELAY_DIR          mailbox directory (default: <system temp>/krova-relay)
//   KROVA_RELAY_MAX_AGE      age limit of a message in seconds (default: 60)
//   KROVA_RELAY_SESSION_TTL  seconds after which an unused session goes (default: 300)
//   KROVA_RELAY_MAX_SESSIONS sessions that may live at once (default: 4000)
//   KROVA_RELAY_MAX_BYTES    bytes all sessions may store together (default: 268435456)
//   KROVA_RELAY_NEW_SESSIONS_PER_MINUTE
//                            sessions one address may open in any 60 s (default: 10)

umask(0077);

const MAX_QUERY_LENGTH = 16384;
const MAX_QUEUED = 64;
const MAX_QUEUED_BYTES = 32768;
const SWEEP_INTERVAL = 60;
const USAGE_INTERVAL = 5;
const RATE_WINDOW = 60;
// The values each kind carries at most.
const MAX_VALUES = ['0' => 0, '1' => 0, '2' => 280, '3' => 540, '4' => 255, '5' => 0];
const CODE_ALPHABET = '0123456789ABCDEFGHJKMNPQRSTVWXYZ';

function answer(int $status, string $text, array $headers = []): void
{
    http_response_code($status);
    foreach ($headers as $line) {
        header($line);
    }
    header('Content-Type: text/html; charset=ISO-8859-1');
    header('Cache-Control: no-store');
    // With the length given, a client knows the answer is whole before the
    // server closes the connection (some clients otherwise send it again).
    header('Content-Length: ' . strlen($text));
    echo $text;
    exit;
}

function reject(string $what): void
{
    answer(400, "Bad request: $what\r\n");
}

function unavailable(): void
{
    answer(500, "Relay storage unavailable\r\n");
}

// A client's request with a code that no technician opened (or whose
// session was swept): nothing is stored for it.
function no_session(): void
{
    answer(404, "No support session with this code\r\n");
}

function too_many(int $retryAfter): void
{
    answer(429, "Too many new sessions from this address\r\n", ["Retry-After: $retryAfter"]);
}

// A setting from the process environment, or from the web server's
// configuration (Apache's SetEnv, nginx's fastcgi_param).
function relay_setting(string $name)
{
    $value = getenv($name);
    if ($value === false && isset($_SERVER[$name]) && is_string($_SERVER[$name])) {
        $value = $_SERVER[$name];
    }
    return $value;
}

// The session a request path names: 'trial' for the plain script,
// 's-<CODE>' for a code; null for anything else.
function relay_session(string $path, string $base): ?string
{
    if ($base !== '' && strncmp($path, $base . '/', strlen($base) + 1) !== 0) {
        return null;
    }
    $rest = substr($path, strlen($base));
    if ($rest === '/support_x.php') {
        return 'trial';
    }
    if (preg_match('#^/s/([0-9A-Za-z-]{8,40})/support_x\.php$#D', $rest, $m) !== 1) {
        return null;
    }
    $code = strtr(strtoupper(str_replace('-', '', $m[1])), 'OIL', '011');
    if (strlen($code) < 8 || strlen($code) > 32 || strspn($code, CODE_ALPHABET) !== strlen($code)) {
        return null;
    }
    return "s-$code";
}

// Whether a message of this sender and kind only matters in its latest form.
function is_periodic(string $user, string $kind): bool
{
    return ($user === 'support' && $kind === '0') || ($user === 'client' && $kind === '2');
}

// lstat without PHP's stat cache, which keeps the last file's result (the
// cache of resolved paths stays: it saves a look at every parent folder).
function fresh_lstat(string $path)
{
    clearstatcache();
    return @lstat($path);
}

// A directory's lstat says a real directory of ours, mode 0700 (a link is
// never taken for what it points to).
function is_private_stat($st): bool
{
    return $st !== false && ($st['mode'] & 0170000) === 0040000 && ($st['mode'] & 0777) === 0700
        && (!function_exists('posix_geteuid') || $st['uid'] === posix_geteuid());
}

function is_private_dir(string $dir): bool
{
    return is_private_stat(fresh_lstat($dir));
}

function make_private_dir(string $dir): bool
{
    $st = fresh_lstat($dir);
    if ($st === false) {
        $old = umask(0077);
        @mkdir($dir, 0700);
        umask($old);
        $st = fresh_lstat($dir);
    }
    return is_private_stat($st);
}

// Opens a file that exists as a plain file (never through a link: the file
// opened is the one lstat saw), or with $create one that it creates
// exclusively when there is none yet. $mode 'r' reads, 'r+' also writes.
function open_file(string $path, bool $create, string $mode = 'r')
{
    $st = fresh_lstat($path);
    if ($st === false && $create) {
        $handle = @fopen($path, $mode === 'r' ? 'x' : 'x+');
        if ($handle !== false) {
            return $handle;
        }
        // Another request made it first.
        $st = fresh_lstat($path);
    }
    if ($st === false || ($st['mode'] & 0170000) !== 0100000) {
        return false;
    }
    $handle = @fopen($path, $mode);
    if ($handle === false) {
        return false;
    }
    $opened = fstat($handle);
    if ($opened === false || $opened['dev'] !== $st['dev'] || $opened['ino'] !== $st['ino']) {
        fclose($handle);
        return false;
    }
    return $handle;
}

// Locks an open file exclusively and makes sure the lock is held on the file
// that has that name now: a lock held on a file a sweep removed meanwhile
// guards nothing.
function lock_file($handle, string $path): bool
{
    if (!flock($handle, LOCK_EX)) {
        return false;
    }
    $held = fstat($handle);
    $named = fresh_lstat($path);
    if ($held !== false && $named !== false && $held['dev'] === $named['dev'] && $held['ino'] === $named['ino']) {
        return true;
    }
    flock($handle, LOCK_UN);
    return false;
}

// A file's content up to the first line end: a write cut short after its
// line end leaves the longer old content's tail behind it.
function read_record($handle): string
{
    $text = (string)stream_get_contents($handle, -1, 0);
    $end = strpos($text, "\n");
    return $end === false ? $text : substr($text, 0, $end);
}

// Writes a record over a file's content in place, the line end first and
// then the file cut to its length. A file written in place keeps its inode:
// a new file renamed over the old one for every request costs an inode made
// and one freed (with the freed blocks discarded on many file systems),
// which was the larger part of a request's time.
function write_record($handle, string $text): bool
{
    $text .= "\n";
    $before = (string)stream_get_contents($handle, -1, 0);
    if (rewind($handle) && fwrite($handle, $text) === strlen($text) && fflush($handle)
        && ftruncate($handle, strlen($text))) {
        return true;
    }
    // A write cut short (a full disk) would leave the messages that wait
    // unreadable: the old content goes back where it stood, in blocks the
    // file holds already, and the request fails instead.
    if (rewind($handle)) {
        fwrite($handle, $before);
        fflush($handle);
        ftruncate($handle, strlen($before));
    }
    return false;
}

// A session's queues as its state file holds them.
function read_state($handle): array
{
    $queues = ['client' => [], 'support' => []];
    $stored = json_decode(read_record($handle), true);
    foreach (['client', 'support'] as $side) {
        if (is_array($stored) && isset($stored[$side]) && is_array($stored[$side])) {
            $queues[$side] = $stored[$side];
        }
    }
    return $queues;
}

// Locks a session that exists: its folder, a private directory, and its
// state file, made with it, which is also its lock. Nothing is created here,
// so a request never brings back a session that a sweep removed. Returns the
// locked state file, null when the session does not exist (or went while
// this request waited for its lock), false when its folder is not one the
// relay may use.
function lock_session(string $sessionDir)
{
    for ($try = 0; $try < 3; $try++) {
        $st = fresh_lstat($sessionDir);
        if ($st === false) {
            return null;
        }
        if (!is_private_stat($st)) {
            return false;
        }
        $state = open_file("$sessionDir/state", false, 'r+');
        if ($state === false) {
            // Being swept: the folder goes next.
            usleep(1000);
            continue;
        }
        if (lock_file($state, "$sessionDir/state")) {
            return $state;
        }
        fclose($state);
    }
    return fresh_lstat($sessionDir) === false ? null : false;
}

// The time a session was last used: its state file's, or its folder's.
function session_used(string $sessionDir)
{
    $st = fresh_lstat("$sessionDir/state");
    if ($st === false) {
        $st = fresh_lstat($sessionDir);
    }
    return $st === false ? false : $st['mtime'];
}

function remove_session(string $sessionDir): void
{
    // Everything in it, a temporary file that a stopped worker left included.
    foreach (scandir($sessionDir) ?: [] as $entry) {
        if ($entry !== '.' && $entry !== '..') {
            @unlink("$sessionDir/$entry");
        }
    }
    @rmdir($sessionDir);
}

// Whether a session's state still holds a message younger than the age limit.
function holds_live_message($state, float $now, float $maxAge): bool
{
    foreach (read_state($state) as $queue) {
        foreach ($queue as $m) {
            if (is_array($m) && isset($m['at']) && $now - (float)$m['at'] <= $maxAge) {
                return true;
            }
        }
    }
    return false;
}

// The relay's lock: one file, $sessions/.lock, locked exclusively while a
// session is created and by the sweep's count. It also holds the ledger,
// {"at": <time of the last count>, "sessions": <session folders>}: each new
// session is added to it at once. Only new sessions and the sweep take it;
// a request of a session that exists never does.
function lock_relay(string $sessions)
{
    $path = "$sessions/.lock";
    for ($try = 0; $try < 3; $try++) {
        $lock = open_file($path, true, 'r+');
        if ($lock === false) {
            return false;
        }
        if (lock_file($lock, $path)) {
            return $lock;
        }
        fclose($lock);
    }
    return false;
}

function release($lock): void
{
    flock($lock, LOCK_UN);
    fclose($lock);
}

// Session folders there are: every entry that does not start with a dot.
// Called under the relay's lock, so no session is created meanwhile; a
// sweep may remove one meanwhile, which only makes the count high.
function count_sessions(string $sessions): int
{
    $count = 0;
    foreach (scandir($sessions) ?: [] as $entry) {
        if ($entry[0] !== '.') {
            $count++;
        }
    }
    return $count;
}

// Where the sessions an address opened are noted: a file of its own in
// $sessions/.new, named by a hash of the address, so that a new session
// reads and writes that address's openings only, however many addresses
// there are.
function openings_path(string $sessions, string $address): string
{
    return "$sessions/.new/" . substr(hash('sha256', $address), 0, 32);
}

// An address's openings still inside the window, oldest first, as runs
// [first, last, count] of openings less than a second apart: at most about
// RATE_WINDOW runs however high the limit. A run counts until its last
// opening leaves the window, then all of it has.
function read_openings($handle, float $now): array
{
    $stored = json_decode(read_record($handle), true);
    $runs = [];
    foreach (is_array($stored) && isset($stored['runs']) && is_array($stored['runs']) ? $stored['runs'] : [] as $run) {
        if (is_array($run) && count($run) === 3 && is_numeric($run[0]) && is_numeric($run[1]) && is_numeric($run[2])
            && $now - (float)$run[1] < RATE_WINDOW) {
            $runs[] = [(float)$run[0], (float)$run[1], (int)$run[2]];
        }
    }
    return $runs;
}

// Whole seconds until an address at its limit may open a session again:
// until the oldest runs that keep it at the limit have left the window.
function retry_after(array $runs, int $perMinute, float $now): int
{
    $left = array_sum(array_column($runs, 2));
    foreach ($runs as $run) {
        $left -= $run[2];
        if ($left < $perMinute) {
            return (int)max(1, min(RATE_WINDOW, ceil($run[1] + RATE_WINDOW - $now)));
        }
    }
    return 1;
}

// Creates a session for a request that may open one, under the relay's lock:
// the address's limit of new sessions, then the bounds on sessions and
// storage, then the folder with its state file, counted in the ledger and
// noted for the address in the same hold of the lock, so that simultaneous
// requests cannot pass a bound together. The trial session counts toward
// the bounds, not toward an address's openings. Answers 429 or 503, and
// creates nothing, when a bound is reached.
function open_session(string $sessions, string $sessionDir, bool $trial, string $address, float $now,
                      int $perMinute, int $maxSessions, int $maxBytes): void
{
    $lock = lock_relay($sessions);
    if ($lock === false) {
        unavailable();
    }
    if (fresh_lstat($sessionDir) !== false) {
        // Another request created it meanwhile.
        release($lock);
        return;
    }
    // The address's openings, read from its file when there is one; the file
    // and its folder are made only when a session is.
    $openingsPath = openings_path($sessions, $address);
    $openings = false;
    $runs = [];
    if (!$trial) {
        $folder = fresh_lstat("$sessions/.new");
        $openings = is_private_stat($folder) ? open_file($openingsPath, false, 'r+') : false;
        if ($openings === false && $folder !== false && (!is_private_stat($folder) || fresh_lstat($openingsPath) !== false)) {
            // There, but not a folder or file the relay may use.
            release($lock);
            unavailable();
        }
        $runs = $openings === false ? [] : read_openings($openings, $now);
        if (array_sum(array_column($runs, 2)) >= $perMinute) {
            release($lock);
            too_many(retry_after($runs, $perMinute, $now));
        }
    }
    $ledger = json_decode(read_record($lock), true);
    $live = is_array($ledger) && is_int($ledger['sessions'] ?? null) ? $ledger['sessions'] : null;
    $at = is_array($ledger) && is_numeric($ledger['at'] ?? null) ? (float)$ledger['at'] : null;
    $full = function (int $live) use ($maxSessions, $maxBytes): bool {
        return $live >= $maxSessions || ($live + 1) * 2 * MAX_QUEUED_BYTES > $maxBytes;
    };
    // Counted again when the ledger does not say, and when it says full but
    // its count is a few seconds old (sessions removed by hand since).
    if ($live === null || $at === null || ($full($live) && $now - $at >= USAGE_INTERVAL)) {
        $live = count_sessions($sessions);
        $at = $now;
        // Kept even when the answer is no: the next requests need not count.
        write_record($lock, json_encode(['at' => $at, 'sessions' => $live]));
    }
    if ($full($live)) {
        release($lock);
        answer(503, "Relay full: no new session now\r\n");
    }
    // Counted before the folder is made: a folder that then cannot be made
    // leaves the count high until the next count, never low.
    $made = write_record($lock, json_encode(['at' => $at, 'sessions' => $live + 1])) && make_private_dir($sessionDir);
    $state = $made ? @fopen("$sessionDir/state", 'x') : false;
    if ($state === false && $made) {
        // A folder without its state file could never be used.
        @rmdir($sessionDir);
    }
    if (!$trial && $state !== false) {
        $last = count($runs) - 1;
        if ($last >= 0 && $now - $runs[$last][0] < 1) {
            $runs[$last][1] = $now;
            $runs[$last][2]++;
        } else {
            $runs[] = [$now, $now, 1];
        }
        if ($openings === false && make_private_dir("$sessions/.new")) {
            $openings = open_file($openingsPath, true, 'r+');
        }
        // Noted under the lock with the session; when the note cannot be
        // written (storage failing), the session goes again.
        if ($openings === false || !write_record($openings, json_encode(['address' => $address, 'runs' => $runs]))) {
            fclose($state);
            remove_session($sessionDir);
            release($lock);
            unavailable();
        }
    }
    release($lock);
    if ($state === false) {
        unavailable();
    }
    fclose($state);
}

// Removes sessions nobody used for the time to live and whose messages have
// all expired, at most every SWEEP_INTERVAL seconds. A session in use right
// now is left alone. Then, under the relay's lock, counts the sessions again
// and forgets the openings of addresses that opened none within the window.
function sweep(string $sessions, float $now, float $ttl, float $maxAge): void
{
    $marker = "$sessions/.swept";
    $st = fresh_lstat($marker);
    if ($st !== false && $now - $st['mtime'] < SWEEP_INTERVAL) {
        return;
    }
    if ($st === false) {
        $h = @fopen($marker, 'x');
        if ($h !== false) {
            fclose($h);
        }
    } elseif (($st['mode'] & 0170000) === 0100000) {
        @touch($marker);
    }
    foreach (scandir($sessions) ?: [] as $entry) {
        if ($entry[0] === '.') { // ., .., the relay's lock, ledger and openings, the sweep's marker
            continue;
        }
        $dir = "$sessions/$entry";
        $used = session_used($dir);
        if ($used === false || $now - $used < $ttl || !is_private_dir($dir)) {
            continue;
        }
        $state = open_file("$dir/state", false);
        if ($state === false) {
            // No state file: a folder that a stopped worker left half made
            // (nobody can use it), or one that another sweep removes now.
            remove_session($dir);
            continue;
        }
        if (flock($state, LOCK_EX | LOCK_NB)) {
            // A request may have used it between the look above and the lock.
            $used = session_used($dir);
            if ($used !== false && $now - $used >= $ttl && !holds_live_message($state, $now, $maxAge)) {
                remove_session($dir);
            }
            flock($state, LOCK_UN);
        }
        fclose($state);
    }
    $lock = lock_relay($sessions);
    if ($lock === false) {
        return;
    }
    write_record($lock, json_encode(['at' => $now, 'sessions' => count_sessions($sessions)]));
    if (is_private_dir("$sessions/.new")) {
        foreach (scandir("$sessions/.new") ?: [] as $entry) {
            $st = $entry[0] === '.' ? false : fresh_lstat("$sessions/.new/$entry");
            if ($st !== false && $now - $st['mtime'] >= RATE_WINDOW) {
                @unlink("$sessions/.new/$entry");
            }
        }
    }
    release($lock);
}

// --- Check the request before touching any mailbox. ---
if (($_SERVER['REQUEST_METHOD'] ?? '') !== 'GET') {
    header('Allow: GET');
    answer(405, "Only GET is supported\r\n");
}
$path = rawurldecode(parse_url($_SERVER['REQUEST_URI'] ?? '/', PHP_URL_PATH) ?: '/');
$base = defined('KROVA_RELAY_BASE')
    ? KROVA_RELAY_BASE
    : rtrim(str_replace('\\', '/', dirname($_SERVER['SCRIPT_NAME'] ?? '/support_x.php')), '/');
$session = relay_session($path, $base);
if ($session === null) {
    answer(404, "No such session\r\n");
}
if (strlen($_SERVER['QUERY_STRING'] ?? '') > MAX_QUERY_LENGTH) {
    reject('query too long');
}
$user = $_GET['user'] ?? null;
$data = $_GET['data'] ?? null;
$time = $_GET['time'] ?? null;
if ($user !== 'client' && $user !== 'support') {
    reject('user');
}
// A kind digit, then any number of "$" + a value of 0 to 255 (a plus sign
// arrives as %2B).
if (!is_string($data) || preg_match('/^[0-9](?:\$\+?0*(?:25[0-5]|2[0-4][0-9]|1?[0-9]?[0-9]))*$/D', $data) !== 1) {
    reject('data');
}
// Kinds each side sends: the client its state, settings and chat; the
// support side its requests, settings, chat and stop.
if (strpos($user === 'client' ? '234' : '01345', $data[0]) === false) {
    reject('kind');
}
if (substr_count($data, '$') > MAX_VALUES[$data[0]]) {
    reject('more values than the kind carries');
}
if (!is_string($time) || preg_match('/^[0-9]+$/D', $time) !== 1) {
    reject('time');
}

// --- Storage. ---
$dir = relay_setting('KROVA_RELAY_DIR') ?: sys_get_temp_dir() . '/krova-relay';
$maxAge = relay_setting('KROVA_RELAY_MAX_AGE');
$maxAge = is_numeric($maxAge) && (float)$maxAge >= 0 ? (float)$maxAge : 60.0;
$ttl = relay_setting('KROVA_RELAY_SESSION_TTL');
$ttl = is_numeric($ttl) && (float)$ttl >= 0 ? (float)$ttl : 300.0;
$maxSessions = relay_setting('KROVA_RELAY_MAX_SESSIONS');
$maxSessions = is_numeric($maxSessions) && (int)$maxSessions >= 0 ? (int)$maxSessions : 4000;
$maxBytes = relay_setting('KROVA_RELAY_MAX_BYTES');
$maxBytes = is_numeric($maxBytes) && (int)$maxBytes >= 0 ? (int)$maxBytes : 256 * 1024 * 1024;
$perMinute = relay_setting('KROVA_RELAY_NEW_SESSIONS_PER_MINUTE');
$perMinute = is_numeric($perMinute) && (int)$perMinute >= 0 ? (int)$perMinute : 10;
// The address the connection came from: behind a reverse proxy, the web
// server's own module puts the customer's address here (a forwarding header
// anybody can write is never read).
$address = (string)($_SERVER['REMOTE_ADDR'] ?? '');

if (!make_private_dir($dir)) {
    unavailable();
}
$sessions = "$dir/sessions";
if (!make_private_dir($sessions)) {
    unavailable();
}
$now = microtime(true);
sweep($sessions, $now, $ttl, $maxAge);

// Only the technician's side opens a session with a code; the trial session
// either side. A client whose session does not exist, or went while it
// waited for the session's lock, is told so and nothing is stored.
$sessionDir = "$sessions/$session";
$mayOpen = $user === 'support' || $session === 'trial';
$state = lock_session($sessionDir);
for ($try = 0; $try < 3 && $state === null && $mayOpen; $try++) {
    open_session($sessions, $sessionDir, $session === 'trial', $address, $now, $perMinute, $maxSessions, $maxBytes);
    $state = lock_session($sessionDir);
}
if ($state === null && !$mayOpen) {
    no_session();
}
if ($state === null || $state === false) {
    unavailable();
}

$queues = read_state($state);
// Messages that waited too long go unread.
foreach ($queues as $side => $queue) {
    $queues[$side] = array_values(array_filter($queue, function ($m) use ($now, $maxAge) {
        return is_array($m) && isset($m['at'], $m['data']) && $now - (float)$m['at'] <= $maxAge;
    }));
}

// Leave the sender's message.
$other = $user === 'client' ? 'support' : 'client';
$periodic = is_periodic($user, $data[0]);
$queue = $queues[$user];
if ($periodic) {
    $queue = array_values(array_filter($queue, function ($m) use ($user) {
        return !is_periodic($user, $m['data'][0]);
    }));
}
$queue[] = ['at' => $now, 'data' => $data];
$bytes = function (array $q): int {
    return array_sum(array_map(function ($m) {
        return strlen($m['data']);
    }, $q));
};
while (count($queue) > MAX_QUEUED || $bytes($queue) > MAX_QUEUED_BYTES) {
    $oldestPeriodic = null;
    foreach ($queue as $i => $m) {
        if (is_periodic($user, $m['data'][0])) {
            $oldestPeriodic = $i;
            break;
        }
    }
    if ($oldestPeriodic === null) {
        // Only one-shots wait, the new one among them: it is refused.
        flock($state, LOCK_UN);
        answer(503, "Relay queue full\r\n");
    }
    array_splice($queue, $oldestPeriodic, 1);
}
$queues[$user] = $queue;

// Take the other side's oldest one-shot, or else its periodic message.
$message = '';
if ($queues[$other] !== []) {
    $take = 0;
    foreach ($queues[$other] as $i => $m) {
        if (!is_periodic($other, $m['data'][0])) {
            $take = $i;
            break;
        }
    }
    $message = array_splice($queues[$other], $take, 1)[0]['data'];
}

if (!write_record($state, json_encode($queues))) {
    flock($state, LOCK_UN);
    unavailable();
}
flock($state, LOCK_UN);
answer(200, "<body>\r\n$message</body>");
