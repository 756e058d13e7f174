// Tavri observation hook for Claude Code.
//
// Claude Code runs this script at every registered hook point with the
// hook's JSON on standard input. The script wraps it in a hook envelope and
// posts it to the local Tavri dashboard server. It must never disturb Claude
// Code: it always exits 0, prints nothing on standard output, bounds its
// input wait and its request, and records problems in ~/.tavri/hook.log.
//
// Usage: node observe_hook.mjs [--port N] [--url URL]

import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';

const USER_AGENT = 'Tavri-Observe/0.3.0';
const STDIN_LIMIT_MS = 3000;
const POST_TIMEOUT_MS = 5000;
const DEFAULT_PORT = 3000;
const IMAGE_LIMIT = 100000;
const INGEST_PATH = '/api/v1/ingest/event';
const MODEL_VARS = [
  'CLAUDE_MODEL',
  'ANTHROPIC_MODEL',
  'ANTHROPIC_DEFAULT_MODEL',
  'OPENAI_MODEL',
  'DEEPSEEK_MODEL',
  'GEMINI_MODEL',
];

// Same lookup as the server's, so both agree on where .tavri lives.
function homeDir() {
  return process.env.USERPROFILE || process.env.HOME || os.homedir() || '.';
}

const tavriDir = path.join(homeDir(), '.tavri');

function log(msg) {
  try {
    // One entry per line, whatever the message carries (error texts and
    // response bodies may hold line breaks).
    const line = `[${new Date().toISOString()}] ${String(msg).replace(/[\r\n]/g, ' ')}\n`;
    fs.mkdirSync(tavriDir, { recursive: true });
    fs.appendFileSync(path.join(tavriDir, 'hook.log'), line);
  } catch {
    // Logging is best effort.
  }
}

function errMessage(e) {
  return e && typeof e === 'object' && 'message' in e ? e.message : String(e);
}

// First n characters (code points, so a surrogate pair is never split).
function firstChars(s, n) {
  return Array.from(String(s)).slice(0, n).join('');
}

// Strict decimal port: digits only, 1..65535.
function parsePort(text) {
  if (typeof text !== 'string') return null;
  const t = text.trim();
  if (!/^[0-9]+$/.test(t)) return null;
  const n = Number(t);
  return n >= 1 && n <= 65535 ? n : null;
}

function parseArgs(argv) {
  const out = { port: null, url: null };
  for (let i = 0; i < argv.length; i++) {
    if (argv[i] === '--port' && i + 1 < argv.length) {
      out.port = parsePort(argv[++i]);
    } else if (argv[i] === '--url' && i + 1 < argv.length) {
      out.url = argv[++i];
    }
  }
  return out;
}

function resolvePort(argPort) {
  if (argPort) return argPort;
  const portFile = path.join(tavriDir, 'port');
  if (fs.existsSync(portFile)) {
    try {
      // A port file that exists but holds garbage means the server wrote
      // something odd; the default is safer than a stale environment value.
      return parsePort(fs.readFileSync(portFile, 'utf8')) ?? DEFAULT_PORT;
    } catch {
      // Unreadable: fall through to the environment.
    }
  }
  return parsePort(process.env.TAVRI_SERVER_PORT) ?? DEFAULT_PORT;
}

function ingestUrl(args) {
  const base = args.url || process.env.TAVRI_SERVER_URL;
  if (base) return base.replace(/\/+$/, '') + INGEST_PATH;
  return `http://127.0.0.1:${resolvePort(args.port)}${INGEST_PATH}`;
}

function readStdin() {
  return new Promise((resolve) => {
    try {
      const stdin = process.stdin;
      if (stdin.isTTY) {
        resolve('');
        return;
      }
      let data = '';
      let settled = false;
      const finish = (value) => {
        if (settled) return;
        settled = true;
        clearTimeout(timer);
        resolve(value);
        // Stop holding the event loop open on a writer that never closes.
        try {
          stdin.pause();
          stdin.destroy();
        } catch {
          // ignore
        }
      };
      // On timeout whatever has arrived is used.
      const timer = setTimeout(() => finish(data), STDIN_LIMIT_MS);
      stdin.setEncoding('utf8');
      stdin.on('data', (chunk) => {
        data += chunk;
      });
      stdin.on('end', () => finish(data));
      stdin.on('error', (e) => {
        if (settled) return;
        log(`STDIN_ERR: ${errMessage(e)}`);
        finish('');
      });
    } catch (e) {
      log(`STDIN_SETUP_ERR: ${errMessage(e)}`);
      resolve('');
    }
  });
}

function nonEmptyText(v) {
  return typeof v === 'string' && v.length > 0 ? v : null;
}

function flagsFor(hookName) {
  if (hookName === 'SessionStart') return { startsSession: true, clearsNotification: true };
  if (hookName === 'SessionEnd' || hookName === 'Stop') return { stopsSession: true };
  return {};
}

function redactImages(payload) {
  if (!Array.isArray(payload.tool_response)) return;
  for (const item of payload.tool_response) {
    const source = item && typeof item === 'object' ? item.source : null;
    if (
      source &&
      typeof source === 'object' &&
      source.type === 'base64' &&
      typeof source.data === 'string' &&
      source.data.length > IMAGE_LIMIT
    ) {
      source.data = '[REDACTED]';
    }
  }
}

// Returns the envelope, or null when the input is not a usable hook call.
function buildEnvelope(raw) {
  let input;
  try {
    input = JSON.parse(raw);
  } catch (e) {
    log(`BUILD_ERR: ${errMessage(e)}`);
    return null;
  }
  if (!input || typeof input !== 'object' || Array.isArray(input)) return null;
  const hookName = nonEmptyText(input.hook_event_name);
  if (!hookName) return null;

  if (!input.model) {
    for (const name of MODEL_VARS) {
      const value = process.env[name];
      if (value) {
        input.model = value;
        break;
      }
    }
  }
  redactImages(input);

  return {
    agentClass: 'claude-code',
    sessionId:
      nonEmptyText(input.session_id) || nonEmptyText(process.env.CLAUDE_SESSION_ID) || 'unknown',
    agentId: nonEmptyText(input.agent_id) || nonEmptyText(input.subagent_id) || 'root',
    hookName,
    toolName: typeof input.tool_name === 'string' ? input.tool_name : '',
    payload: input,
    cwd: nonEmptyText(input.cwd) || process.cwd(),
    timestamp: Date.now(),
    flags: flagsFor(hookName),
  };
}

function post(urlText, envelope) {
  return new Promise((resolve) => {
    let settled = false;
    let timer = null;
    const done = (msg) => {
      if (settled) return;
      settled = true;
      if (timer) clearTimeout(timer);
      log(msg);
      resolve();
    };
    try {
      const url = new URL(urlText);
      const body = JSON.stringify(envelope);
      const req = http.request({
        host: url.hostname.replace(/^\[(.*)\]$/, '$1'),
        port: url.port ? Number(url.port) : 80,
        path: url.pathname + url.search,
        method: 'POST',
        headers: {
          'Content-Type': 'application/json',
          'Content-Length': Buffer.byteLength(body),
          'User-Agent': USER_AGENT,
        },
      });
      // One deadline for the whole exchange, answer body included.
      timer = setTimeout(() => {
        done(`TIMEOUT ${envelope.hookName}`);
        req.destroy();
      }, POST_TIMEOUT_MS);
      req.on('response', (res) => {
        let text = '';
        res.setEncoding('utf8');
        res.on('data', (chunk) => {
          text += chunk;
        });
        res.on('end', () => {
          if (res.statusCode === 200) {
            done(`OK ${envelope.hookName} session=${envelope.sessionId}`);
          } else {
            done(`HTTP ${res.statusCode} ${envelope.hookName}: ${firstChars(text, 200)}`);
          }
        });
        res.on('error', (e) => done(`ERR ${envelope.hookName}: ${errMessage(e)}`));
      });
      req.on('error', (e) => done(`ERR ${envelope.hookName}: ${errMessage(e)}`));
      req.end(body);
    } catch (e) {
      done(`EXCEPTION: ${errMessage(e)}`);
    }
  });
}

async function main() {
  const args = parseArgs(process.argv.slice(2));
  const raw = await readStdin();
  if (!raw || raw.trim() === '') return;
  const envelope = buildEnvelope(raw);
  if (!envelope) {
    log(`PARSE_FAIL: ${firstChars(raw, 200)}`);
    return;
  }
  await post(ingestUrl(args), envelope);
}

process.on('uncaughtException', (e) => {
  log(`FATAL: ${errMessage(e)}`);
  process.exit(0);
});

main()
  .catch((e) => log(`FATAL: ${errMessage(e)}`))
  .finally(() => process.exit(0));
